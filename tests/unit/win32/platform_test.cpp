// What only Windows has: one file under many names (letter case, short 8.3
// names, either slash, hard links), names beyond 260 characters, and answers
// that end in CR LF.
#include "base/platform.hpp"

#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

namespace plotveil::platform {
namespace {

namespace fs = std::filesystem;

std::string utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {reinterpret_cast<const char*>(text.data()), text.size()};
}

class Win32Names : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() / (L"plotveil_win32_" + std::to_wstring(std::random_device{}()));
  void SetUp() override { fs::create_directory(dir); }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  std::string make(const std::wstring& leaf) {
    std::ofstream(dir / leaf, std::ios::binary) << "ncols 1\n";
    return utf8(dir / leaf);
  }
};

TEST_F(Win32Names, OneFileHasOneIdentityWhateverNamesIt) {
  const std::string grid = make(L"Long Grid Name.asc");
  const std::string other = make(L"other.asc");
  FileIdentity opened;
  const File file = open_for_reading(grid, opened);
  ASSERT_NE(file, kNoFile);
  close_file(file);

  std::wstring wide = (dir / L"Long Grid Name.asc").wstring();
  wchar_t short_name[MAX_PATH];
  ASSERT_GT(::GetShortPathNameW(wide.c_str(), short_name, MAX_PATH), 0u);
  ASSERT_TRUE(::CreateHardLinkW((dir / L"hard.asc").c_str(), wide.c_str(), nullptr));
  std::string slashed = grid;
  for (char& c : slashed) c = c == '\\' ? '/' : c;

  const std::string names[] = {utf8(std::wstring(short_name)), utf8(dir / L"LONG GRID NAME.ASC"), slashed,
                               utf8(dir / L"sub" / L".." / L"." / L"long grid name.asc"),
                               utf8(dir / L"hard.asc")};
  fs::create_directory(dir / L"sub");
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    std::optional<FileIdentity> identity = identify(name);
    ASSERT_TRUE(identity.has_value());
    EXPECT_EQ(*identity, opened);
  }
  EXPECT_NE(identify(other), opened);
  EXPECT_FALSE(identify(utf8(dir / L"missing.asc")).has_value());
}

TEST_F(Win32Names, NamesInAnyScriptAndBeyond260CharactersOpen) {
  const std::string greek = make(L"\u0394\u03b5\u03b4\u03bf\u03bc\u03ad\u03bd\u03b1_\u5730\u5f62.asc");
  FileIdentity identity;
  File file = open_for_reading(greek, identity);
  ASSERT_NE(file, kNoFile);
  char bytes[8] = {};
  EXPECT_EQ(read_file(file, bytes, sizeof bytes), 8);
  EXPECT_EQ(std::string(bytes, 8), "ncols 1\n");
  close_file(file);

  // Four folders of 100 characters: the path passes the old limit of 260.
  std::wstring path = L"\\\\?\\" + dir.wstring();
  for (int k = 0; k < 4; ++k) {
    path += L"\\" + std::wstring(100, static_cast<wchar_t>(L'a' + k));
    ASSERT_TRUE(::CreateDirectoryW(path.c_str(), nullptr));
  }
  const std::string deep = utf8(path.substr(4) + L"\\grid.asc");
  ASSERT_GT(deep.size(), 400u);
  file = create_for_writing(deep);
  ASSERT_NE(file, kNoFile);
  EXPECT_EQ(write_file(file, "ncols 1\n", 8), 8);
  EXPECT_TRUE(close_file(file));
  file = open_for_reading(deep, identity);
  ASSERT_NE(file, kNoFile);
  EXPECT_EQ(identify(deep), identity);
  EXPECT_TRUE(names_file(deep, identity));
  EXPECT_EQ(file_size(file), std::optional<std::uint64_t>(8));
  close_file(file);
  EXPECT_TRUE(remove_file(deep));
  EXPECT_FALSE(identify(deep).has_value());
  for (int k = 0; k < 4; ++k) {
    ::RemoveDirectoryW(path.c_str());
    path.resize(path.rfind(L'\\'));
  }
}

TEST(Win32Console, AnswerEndsAtItsCrLf) {
  std::FILE* in = std::tmpfile();
  ASSERT_NE(in, nullptr);
  std::fputs("out.asc\r\n\r\nlast", in);
  std::rewind(in);
  for (const char* text : {"out.asc", "", "last"}) {
    AnswerLine answer = read_console_line(in);
    EXPECT_EQ(answer.kind, AnswerLine::Kind::text);
    EXPECT_EQ(answer.text, text);
  }
  EXPECT_EQ(read_console_line(in).kind, AnswerLine::Kind::ended);
  std::fclose(in);
}

}  // namespace
}  // namespace plotveil::platform
