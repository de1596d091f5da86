// Opening and recognising the two inputs: every failure here comes before the
// output is opened, so an existing output keeps its bytes.
#include <gtest/gtest.h>

#include "expectations.hpp"
#include "tool_runner.hpp"

namespace plotveil_e2e {
namespace {

const std::string kKeep = "bytes that must survive";

std::string cannot_open(const std::string& name) { return "could not open input file " + name + "\n"; }
std::string unrecognised(const std::string& name) {
  return "could not recognise file format (ascii, single or double) for " + name + "\n";
}

class Inputs : public ::testing::Test {
 protected:
  TempDir dir;
  std::string good = dir.write("good.asc", text_grid(binary_header(1, 1), {{1}}));
  std::string junk = dir.write("junk.bin", std::string(200, 'x'));
  std::string missing = dir.file("missing.asc");
  std::string out = dir.write("out.asc", kKeep);

  void expect_failure(const std::string& grid_1, const std::string& grid_2, const std::string& message) {
    expect_run(run_tool({grid_1, grid_2, out}), 98, message);
    EXPECT_EQ(read_file(out), kKeep) << "the output was touched";
  }
};

TEST_F(Inputs, MissingInputIsNamed) {
  expect_failure(missing, good, cannot_open(missing));
  expect_failure(good, missing, cannot_open(missing));
  expect_failure("", good, cannot_open(""));
}

TEST_F(Inputs, MissingOutputIsNotCreatedWhenAnInputFails) {
  std::string fresh = dir.file("fresh.asc");
  expect_run(run_tool({missing, good, fresh}), 98, cannot_open(missing));
  expect_run(run_tool({good, junk, fresh}), 98, unrecognised(junk));
  EXPECT_FALSE(file_exists(fresh));
}

TEST_F(Inputs, FirstInputIsSettledBeforeTheSecondIsOpened) {
  expect_failure(junk, missing, unrecognised(junk));
  expect_failure(junk, dir.path().string(), unrecognised(junk));
}

TEST_F(Inputs, DirectoryIsNotAnInput) {
  const std::string folder = dir.path().string();
  expect_failure(folder, good, cannot_open(folder));
  expect_failure(good, folder, cannot_open(folder));
}

// Which bytes make which grid is unit-tested (DetectEncoding); here, that a
// file that is none is named, as either input.
TEST_F(Inputs, UnrecognisedContentIsNamed) {
  const std::vector<std::pair<const char*, std::string>> files = {
      {"byte-order mark", "\xEF\xBB\xBF" + text_grid(binary_header(1, 1), {{1}})},
      {"double, nodata -9999.5", double_grid(binary_header(1, 1, 0, 0, 1, -9999.5), {{1}})},
  };
  for (const auto& [what, bytes] : files) {
    SCOPED_TRACE(what);
    std::string path = dir.write("probe", bytes);
    expect_failure(path, good, unrecognised(path));
    expect_failure(good, path, unrecognised(path));
  }
}

TEST_F(Inputs, SameFileAsBothInputsIsAccepted) {
  expect_run(run_tool({good, good, out}), 0, dots(1));
}

// Names in Greek, Chinese and accented Latin, in a folder of such a name, from
// the command line and as the answer to the prompt.
TEST_F(Inputs, NamesInAnyScriptOpen) {
  const fs::path folder = dir.path() / "Δεδομένα 地形 é";
  fs::create_directory(folder);
  const std::string grid = (folder / "höhe.asc").string();
  write_file(grid, read_file(good));
  const std::string masked = (folder / "маска_掩膜.asc").string();
  expect_run(run_tool({grid, grid, masked}), 0, dots(1));
  const std::string expected = read_file(masked);
  EXPECT_EQ(expected.substr(0, 9), "ncols\t1\r\n");

  RunOptions options;
  options.input = (folder / "ответ.asc").string() + "\n";
  const std::string unreachable = (folder / "нет" / "x.asc").string();
  expect_run(run_tool({grid, masked, unreachable}, options), 0,
             "error opening output grid " + unreachable + " \r\nplease enter new output file name: \r\n" +
                 dots(1));
  EXPECT_EQ(read_file((folder / "ответ.asc").string()), expected);
}

}  // namespace
}  // namespace plotveil_e2e
