// Windows: files are handles opened by wide names; the tool's UTF-8 names are
// converted here and nowhere else. Grid files are bytes (no C runtime text
// mode touches them); the console streams stay in the C runtime's text mode,
// so every "\n" the tool prints leaves as CR LF.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <io.h>
#include <shellapi.h>

#include "base/platform.hpp"

namespace plotveil::platform {
namespace {

// One call moves at most this many bytes; larger blocks take several calls.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;
// From this length on a path goes to the system in its "\\?\" form, which
// lifts the old limit of 260 characters.
constexpr std::size_t kLongPath = MAX_PATH - 12;

HANDLE handle_of(File file) { return reinterpret_cast<HANDLE>(file); }

// A synchronous handle reads and writes at the offset an OVERLAPPED names,
// and moves its own position after the bytes moved.
OVERLAPPED at_offset(std::uint64_t offset) {
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(offset);
  where.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return where;
}
File file_of(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<File>(handle);
}

// UTF-8 to UTF-16; nothing for bytes that are not UTF-8 or hold a NUL.
std::optional<std::wstring> wide(std::string_view text) {
  if (text.empty()) return std::wstring();
  if (text.find('\0') != std::string_view::npos || text.size() > 0x7FFFFFFF) return std::nullopt;
  const int size = static_cast<int>(text.size());
  int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length <= 0) return std::nullopt;
  std::wstring result(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, result.data(), length);
  return result;
}

std::string narrow(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, result.data(), length, nullptr, nullptr);
  return result;
}

// Bytes in `code_page` to UTF-16; bytes that fit no character become U+FFFD.
std::wstring decode(std::string_view text, UINT code_page) {
  const int size = static_cast<int>(text.size());
  int length = size == 0 ? 0 : ::MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  std::wstring result(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) ::MultiByteToWideChar(code_page, 0, text.data(), size, result.data(), length);
  return result;
}

bool is_utf8(std::string_view text) {
  return text.empty() || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                               static_cast<int>(text.size()), nullptr, 0) > 0;
}

// The name as the system should see it: long ones made absolute in the
// "\\?\" (or "\\?\UNC\") form, everything else as given.
std::optional<std::wstring> system_path(const std::string& name) {
  std::optional<std::wstring> path = wide(name);
  if (!path || path->size() < kLongPath || path->rfind(L"\\\\?\\", 0) == 0) return path;
  DWORD length = ::GetFullPathNameW(path->c_str(), 0, nullptr, nullptr);
  if (length == 0) return path;
  std::wstring full(length, L'\0');
  length = ::GetFullPathNameW(path->c_str(), length, full.data(), nullptr);
  full.resize(length);
  if (full.rfind(L"\\\\.\\", 0) == 0) return full;  // a device keeps its form
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::optional<FileIdentity> identity_of(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

}  // namespace

File open_for_reading(const std::string& name, FileIdentity& identity) {
  std::optional<std::wstring> path = system_path(name);
  if (!path || path->empty()) return kNoFile;
  HANDLE handle = ::CreateFileW(path->c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return kNoFile;
  std::optional<FileIdentity> found;
  if (::GetFileType(handle) == FILE_TYPE_DISK) found = identity_of(handle);
  if (!found) {
    ::CloseHandle(handle);
    return kNoFile;
  }
  identity = *found;
  return file_of(handle);
}

File create_for_writing(const std::string& name) {
  std::optional<std::wstring> path = system_path(name);
  if (!path || path->empty()) return kNoFile;
  return file_of(::CreateFileW(path->c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::optional<FileIdentity> identify(const std::string& name) {
  std::optional<std::wstring> path = system_path(name);
  if (!path || path->empty()) return std::nullopt;
  HANDLE handle = ::CreateFileW(path->c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<FileIdentity> found = identity_of(handle);
  ::CloseHandle(handle);
  return found;
}

std::size_t entry_name_start(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\:");
  return separator == std::string::npos ? 0 : separator + 1;
}

bool same_entry_name(const std::string& first, const std::string& second) {
  // NTFS compares names by their characters' upper case.
  const std::optional<std::wstring> a = wide(first);
  const std::optional<std::wstring> b = wide(second);
  if (!a || !b) return first == second;
  return ::CompareStringOrdinal(a->c_str(), static_cast<int>(a->size()), b->c_str(), static_cast<int>(b->size()),
                                TRUE) == CSTR_EQUAL;
}

bool remove_file(const std::string& name) {
  std::optional<std::wstring> path = system_path(name);
  return path && !path->empty() && ::DeleteFileW(path->c_str()) != 0;
}

std::optional<std::uint64_t> file_size(File file) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(handle_of(file), &size) || size.QuadPart < 0) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

bool entry_exists(const std::string& name) {
  std::optional<std::wstring> path = system_path(name);
  if (!path || path->empty()) return false;
  if (::GetFileAttributesW(path->c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  // An entry that cannot even be looked at is taken to be there.
  const DWORD error = ::GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_NAME;
}

std::int64_t read_file(File file, void* destination, std::size_t count) {
  DWORD got = 0;
  const DWORD asked = static_cast<DWORD>(count < kMaxTransfer ? count : kMaxTransfer);
  if (::ReadFile(handle_of(file), destination, asked, &got, nullptr)) return got;
  return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
}

std::int64_t write_file(File file, const void* source, std::size_t count) {
  DWORD put = 0;
  const DWORD asked = static_cast<DWORD>(count < kMaxTransfer ? count : kMaxTransfer);
  if (!::WriteFile(handle_of(file), source, asked, &put, nullptr)) return -1;
  return put;
}

bool seek_file(File file, std::uint64_t offset) {
  LARGE_INTEGER target{};
  target.QuadPart = static_cast<LONGLONG>(offset);
  return ::SetFilePointerEx(handle_of(file), target, nullptr, FILE_BEGIN) != 0;
}

bool is_regular_file(File file) { return ::GetFileType(handle_of(file)) == FILE_TYPE_DISK; }

std::int64_t read_file_at(File file, void* destination, std::size_t count, std::uint64_t offset) {
  DWORD got = 0;
  const DWORD asked = static_cast<DWORD>(count < kMaxTransfer ? count : kMaxTransfer);
  OVERLAPPED where = at_offset(offset);
  if (::ReadFile(handle_of(file), destination, asked, &got, &where)) return got;
  return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
}

std::int64_t write_file_at(File file, const void* source, std::size_t count, std::uint64_t offset) {
  DWORD put = 0;
  const DWORD asked = static_cast<DWORD>(count < kMaxTransfer ? count : kMaxTransfer);
  OVERLAPPED where = at_offset(offset);
  if (!::WriteFile(handle_of(file), source, asked, &put, &where)) return -1;
  return put;
}

bool truncate_file(File file, std::uint64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  return ::SetFileInformationByHandle(handle_of(file), FileEndOfFileInfo, &end, sizeof end) != 0;
}

bool close_file(File file) { return ::CloseHandle(handle_of(file)) != 0; }

bool can_seek(File file) {
  LARGE_INTEGER here{};
  return ::GetFileType(handle_of(file)) != FILE_TYPE_PIPE &&
         ::SetFilePointerEx(handle_of(file), LARGE_INTEGER{}, &here, FILE_CURRENT) != 0;
}

bool is_terminal(std::FILE* stream) {
  DWORD mode = 0;
  HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
  return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

void write_console(std::FILE* stream, std::string_view text, bool terminal) {
  if (terminal) {
    // A console shows characters, not bytes: names in any script appear as
    // they are, whatever the console's code page.
    std::wstring shown;
    for (wchar_t c : decode(text, CP_UTF8)) {
      if (c == L'\n') shown.push_back(L'\r');
      shown.push_back(c);
    }
    std::fflush(stream);
    DWORD written = 0;
    HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    if (::WriteConsoleW(handle, shown.data(), static_cast<DWORD>(shown.size()), &written, nullptr)) return;
  }
  std::fwrite(text.data(), 1, text.size(), stream);
}

AnswerLine read_console_line(std::FILE* stream) {
  AnswerLine answer;
  HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
  DWORD mode = 0;
  if (handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode)) {
    // Typed at a console: read as characters, so any script arrives whole.
    std::wstring line;
    for (;;) {
      wchar_t c = 0;
      DWORD got = 0;
      if (!::ReadConsoleW(handle, &c, 1, &got, nullptr) || got == 0) break;
      if (answer.kind == AnswerLine::Kind::ended && c == 0x1A) break;  // Ctrl-Z: the end of the console's input
      answer.kind = AnswerLine::Kind::text;
      if (c == L'\n') break;
      line.push_back(c);
      // Room for the CR of the line end, and for a byte-order mark.
      if (line.size() > kMaxAnswerCharacters + 2) {
        answer.kind = AnswerLine::Kind::too_long;
        return answer;
      }
    }
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    if (!line.empty() && line.front() == 0xFEFF) line.erase(0, 1);
    answer.text = narrow(line);
  } else {
    // Room for the CR of the line end, and for a byte-order mark.
    answer = read_byte_line(stream, kMaxAnswerCharacters + 2);
    std::string& line = answer.text;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Windows PowerShell sends a UTF-8 byte-order mark before what it pipes.
    if (line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    if (!is_utf8(line)) {
      // Not UTF-8: bytes in the console's code page, as cmd.exe's echo gives them.
      UINT code_page = ::GetConsoleCP();
      if (code_page == 0) code_page = CP_ACP;
      line = narrow(decode(line, code_page));
    }
  }
  if (utf8_characters(answer.text) > kMaxAnswerCharacters) {
    answer.kind = AnswerLine::Kind::too_long;
    answer.text.clear();
  }
  return answer;
}

void guard_standard_streams() {
  const DWORD ids[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  std::FILE* const streams[3] = {stdin, stdout, stderr};
  for (int k = 0; k < 3; ++k) {
    HANDLE handle = ::GetStdHandle(ids[k]);
    const bool missing = handle == nullptr || handle == INVALID_HANDLE_VALUE ||
                         ::_get_osfhandle(::_fileno(streams[k])) < 0;
    if (missing) static_cast<void>(std::freopen("NUL", k == 0 ? "r" : "w", streams[k]));
  }
}

// A write to a pipe whose reader has gone fails with an error; no signal ends
// the process.
void ignore_lost_readers() {}

bool replace_entry(const std::string& from, const std::string& to) {
  std::optional<std::wstring> source = system_path(from);
  std::optional<std::wstring> target = system_path(to);
  return source && target && !source->empty() && !target->empty() &&
         ::MoveFileExW(source->c_str(), target->c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

std::vector<std::string> command_line(int argc, char** argv) {
  int count = 0;
  LPWSTR* words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (words == nullptr) return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int k = 0; k < count; ++k) arguments.push_back(narrow(words[k]));
  ::LocalFree(words);
  return arguments;
}

}  // namespace plotveil::platform
