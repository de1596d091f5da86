// Opening the output: the dialogue that asks for another name when the output
// cannot be opened or would overwrite an input, answered on standard input.
#include <gtest/gtest.h>

#include "expectations.hpp"
#include "tool_runner.hpp"

namespace plotveil_e2e {
namespace {

const std::string kPrompt = "please enter new output file name: ";

std::string cannot_open(const std::string& name) {
  return "error opening output grid " + name + " \r\n" + kPrompt;
}
std::string overwrites(const std::string& name) {
  return "output grid " + name + " would overwrite an input grid \r\n" + kPrompt;
}

const Rows kRows = {{1, 2}, {3, 4}};
const std::string kTextOutput =
    "ncols\t2\r\nnrows\t2\r\nxllcorner\t0\r\nyllcorner\t0\r\ncellsize\t1\r\nnodata_value\t-9999\r\n"
    "1\t2\r\n3\t4\r\n";

class OutputPrompt : public ::testing::Test {
 protected:
  TempDir dir;
  std::string grid = dir.write("grid.asc", text_grid(binary_header(2, 2), kRows));
  std::string mask = dir.write("mask.asc", text_grid(binary_header(2, 2), {{1, 1}, {1, 1}}));
  std::string unreachable = dir.file("no/such/folder/out.asc");

  RunResult run_with_answers(const std::string& out, const std::string& answers) {
    RunOptions options;
    options.input = answers;
    return run_tool({grid, mask, out}, options);
  }
};

TEST_F(OutputPrompt, UnusableAnswerAsksAgainThenTheRunGoesOnUnderTheNewName) {
  const std::string also_bad = dir.file("also/missing.asc");
  const std::string good = dir.file("good.asc");
  RunResult run = run_with_answers(unreachable, also_bad + "\n" + good + "\n");
  expect_run(run, 0, cannot_open(unreachable) + "\r\n" + cannot_open(also_bad) + "\r\n" + dots(2));
  EXPECT_EQ(read_file(good), kTextOutput);
}

TEST_F(OutputPrompt, LaterMessagesShowTheNameThatOpened) {
  RunResult run = run_with_answers(unreachable, "/dev/full\n");
  expect_run(run, 4, cannot_open(unreachable) + "\r\n" + dots(2) + "error writing into /dev/full \n");
}

TEST_F(OutputPrompt, EmptyAnswerEndsTheRun) {
  expect_run(run_with_answers(unreachable, "\n"), 1, cannot_open(unreachable));
  expect_run(run_with_answers(unreachable, "\nnever read\n"), 1, cannot_open(unreachable));
}

TEST_F(OutputPrompt, EndOfInputEndsTheRun) {
  expect_run(run_with_answers(unreachable, ""), 1, cannot_open(unreachable));
  // Input that ends after a failed answer.
  const std::string bad = dir.file("nope/x");
  expect_run(run_with_answers(unreachable, bad + "\n"), 1,
             cannot_open(unreachable) + "\r\n" + cannot_open(bad));
}

// With descriptor 0 closed, the first file the tool opens takes that number:
// the answer must not be read from an input grid.
TEST_F(OutputPrompt, ClosedStandardInputEndsTheRun) {
  RunOptions closed;
  closed.stdin_kind = Stdin::closed;
  closed.working_dir = dir.path();
  const std::string grid_bytes = read_file(grid);
  expect_run(run_tool({grid, mask, unreachable}, closed), 1, cannot_open(unreachable));
  EXPECT_FALSE(file_exists(dir.file("ncols 2"))) << "a file named after grid_1's first line";
  EXPECT_EQ(read_file(grid), grid_bytes);
}

TEST_F(OutputPrompt, AnswerIsTheBytesUpToTheLineFeed) {
  // Input that ends without a line feed still gives its characters.
  const std::string last = dir.file("last.asc");
  expect_run(run_with_answers(unreachable, last), 0, cannot_open(unreachable) + "\r\n" + dots(2));
  EXPECT_EQ(read_file(last), kTextOutput);

  // Blanks stay part of the name, and so does a carriage return, except on
  // Windows, where CR LF ends the answer (and a name loses its final blanks).
  const std::string odd = dir.file(" odd name \r");
  expect_run(run_with_answers(unreachable, odd + "\n"), 0, cannot_open(unreachable) + "\r\n" + dots(2));
  EXPECT_EQ(read_file(windows_tool() ? dir.file(" odd name") : odd), kTextOutput);
}

TEST_F(OutputPrompt, WindowsAnswerEndsAtItsCrLfAndMessagesLeaveInTextMode) {
  if (!windows_tool()) GTEST_SKIP() << "Windows console conventions, checked against a Windows build only";
  const std::string good = dir.file("good.asc");
  RunResult run = run_with_answers(unreachable, good + "\r\n");
  // Each "\n" printed leaves as CR LF, so the message's "\r\n" is CR CR LF.
  EXPECT_EQ(run.out, "error opening output grid " + unreachable +
                         " \r\r\nplease enter new output file name: \r\r\n..\r\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(read_file(good), kTextOutput);
}

TEST_F(OutputPrompt, WindowsSpellingsOfAnInputAreRefused) {
  if (!windows_tool()) GTEST_SKIP() << "Windows spellings of file names, checked against a Windows build only";
  const std::string grid_bytes = read_file(grid);
  fs::create_directory(dir.file("no"));
  std::string backslashed = dir.path().string();
  for (char& c : backslashed) c = c == '/' ? '\\' : c;
  const std::vector<std::string> names = {
      dir.file("GRID.ASC"), dir.file("Grid.Asc"), backslashed + "\\GRID.asc",
      "z:" + backslashed + "\\no\\..\\.\\grid.asc", ".\\MASK.asc", "no/../mask.ASC"};
  RunOptions options;
  options.working_dir = dir.path();
  options.input = "\n";
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    expect_run(run_tool({grid, mask, name}, options), 1, overwrites(name));
    EXPECT_EQ(read_file(grid), grid_bytes);
  }
}

TEST_F(OutputPrompt, OutputThatIsAnInputIsRefusedWhateverNamesIt) {
  const std::string grid_bytes = read_file(grid);
  const std::string mask_bytes = read_file(mask);
  fs::create_symlink(grid, dir.file("link.asc"));
  fs::create_hard_link(mask, dir.file("hard.asc"));
  const std::vector<std::string> names = {grid, mask, dir.path().string() + "/./grid.asc",
                                          dir.path().string() + "/no/../grid.asc", dir.file("link.asc"),
                                          dir.file("hard.asc")};
  fs::create_directory(dir.file("no"));
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    expect_run(run_with_answers(name, "\n"), 1, overwrites(name));
    EXPECT_EQ(read_file(grid), grid_bytes);
    EXPECT_EQ(read_file(mask), mask_bytes);
  }
}

TEST_F(OutputPrompt, AnswersAreCheckedLikeTheFirstName) {
  const std::string grid_bytes = read_file(grid);
  const std::string mask_bytes = read_file(mask);
  const std::string good = dir.file("good.asc");
  RunResult run = run_with_answers(unreachable, mask + "\n" + grid + "\n" + good + "\n");
  expect_run(run, 0,
             cannot_open(unreachable) + "\r\n" + overwrites(mask) + "\r\n" + overwrites(grid) + "\r\n" +
                 dots(2));
  EXPECT_EQ(read_file(good), kTextOutput);
  EXPECT_EQ(read_file(grid), grid_bytes);
  EXPECT_EQ(read_file(mask), mask_bytes);
}

TEST_F(OutputPrompt, ExistingOutputIsReplaced) {
  const std::string out = dir.write("out.asc", std::string(5000, 'z'));
  expect_run(run_with_answers(out, ""), 0, dots(2));
  EXPECT_EQ(read_file(out), kTextOutput);
}

// A relative path of several kilobytes through folders of long names.
std::string long_relative_path(const fs::path& base, int folders, const std::string& leaf) {
  const std::string part(200, 'd');
  fs::path path;
  for (int i = 0; i < folders; ++i) path /= part + std::to_string(i);
  fs::create_directories(base / path);
  return (path / leaf).string();
}

TEST_F(OutputPrompt, NamesOfSeveralKilobytesAreKeptWhole) {
  const std::string far = long_relative_path(dir.path(), 15, std::string(200, 'g') + ".asc");
  ASSERT_GT(far.size(), 3000u);
  write_file((dir.path() / far).string(), read_file(grid));
  const std::string far_mask = far + ".mask";
  write_file((dir.path() / far_mask).string(), read_file(mask));
  const std::string far_out = far + ".out";
  const std::string far_missing = far + ".missing/out.asc";

  RunOptions options;
  options.working_dir = dir.path();
  options.input = far_out + "\n";
  expect_run(run_tool({far, far_mask, far_missing}, options), 0,
             cannot_open(far_missing) + "\r\n" + dots(2));
  EXPECT_EQ(read_file((dir.path() / far_out).string()), kTextOutput);

  // Longer than any path the system opens: reported in full.
  const std::string huge(20000, 'h');
  options.input = "";
  expect_run(run_tool({huge, far_mask, far_out}, options), 98, "could not open input file " + huge + "\n");
  expect_run(run_tool({far, far_mask, huge}, options), 1, cannot_open(huge));
  options.input = huge + "\n" + "\n";
  expect_run(run_tool({far, far_mask, far_missing}, options), 1,
             cannot_open(far_missing) + "\r\n" + cannot_open(huge));
}

}  // namespace
}  // namespace plotveil_e2e
