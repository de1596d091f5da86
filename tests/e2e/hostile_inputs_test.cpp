// Inputs that promise more than they hold, or hold what is not a number: each
// run ends quickly with the short-row message, in little memory.
#include <gtest/gtest.h>

#include "expectations.hpp"
#include "tool_runner.hpp"

namespace plotveil_e2e {
namespace {

// Peak memory a run may reach. The sanitizers keep shadow memory of their own.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr long kMemoryLimitKb = 400 * 1024;
#else
constexpr long kMemoryLimitKb = 100 * 1024;
#endif
constexpr double kTimeLimitSeconds = 3;

std::string short_row(const std::string& name, int row, int read) {
  return "error reading from " + name + " in row " + std::to_string(row) + " (" + std::to_string(read) +
         " values read)\n";
}

void expect_quick_and_small(const RunResult& run) {
  EXPECT_LT(run.seconds, kTimeLimitSeconds);
  // Under a launcher (qemu-user) the peak is the emulator's, which maps what
  // the tool only reserves.
  if (tool_launcher().empty()) {
    EXPECT_LT(run.max_rss_kb, kMemoryLimitKb);
  }
}

TEST(HugePromises, TwoBillionColumnsOverATinyFile) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the address and thread sanitizers write shadow memory for every promised cell";
#endif
  if (windows_tool()) GTEST_SKIP() << "Windows commits the memory of a row when it is allocated";
  TempDir dir;
  const double columns = 2e9;
  const std::vector<std::pair<const char*, std::string>> grids = {
      {"text", text_header("2000000000", "3") + "1 2 3 4 5\n"},
      {"single", single_grid(binary_header(columns, 3), {{1, 2, 3, 4, 5}})},
      {"double", double_grid(binary_header(columns, 3), {{1, 2, 3, 4, 5}})},
      {"double, widest usable row", double_grid(binary_header(2147483646, 3), {{1, 2, 3, 4, 5}})},
  };
  for (const auto& [what, bytes] : grids) {
    SCOPED_TRACE(what);
    std::string grid = dir.write("g", bytes);
    for (const char* format : {"-f:t", "-f:s", "-f:d"}) {
      SCOPED_TRACE(format);
      RunResult run = run_tool({grid, grid, dir.file("out"), format});
      expect_run(run, 5, short_row(grid, 1, 5));
      expect_quick_and_small(run);
    }
  }
}

TEST(HugePromises, RowsTooWideToAllocateAreRefused) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the address and thread sanitizers need far more address space than the limit";
#endif
  TempDir dir;
  std::string grid = dir.write("g.asc", text_header("2000000000", "3") + "1 2 3 4 5\n");
  std::string out = dir.file("out.asc");
  RunOptions options;
  options.address_space_limit = std::uint64_t{2} << 30;  // far below the 16 GB of one row
  expect_run(run_tool({grid, grid, out}, options), 1,
             "could not allocate memory for rows of 2000000000 cells\n");
  // The header written before the rows stays in the file.
  EXPECT_EQ(read_file(out).substr(0, 18), "ncols\t2000000000\r\n");
}

TEST(HugePromises, TwoBillionRowsOverATinyFile) {
  TempDir dir;
  const Rows rows = {{1, 2}, {3, 4}, {5, 6}};
  const std::vector<std::pair<const char*, std::string>> grids = {
      {"text", text_header("2", "2000000000") + "1 2\n3 4\n5 6\n"},
      {"single", single_grid(binary_header(2, 2e9), rows)},
      {"double", double_grid(binary_header(2, 2e9), rows)},
  };
  for (const auto& [what, bytes] : grids) {
    SCOPED_TRACE(what);
    std::string grid = dir.write("g", bytes);
    RunResult run = run_tool({grid, grid, dir.file("out"), "-f:d"});
    expect_run(run, 5, "..." + short_row(grid, 4, 0));
    expect_quick_and_small(run);
    EXPECT_EQ(read_file(dir.file("out")).size(), (12u + 6) * 8);
  }
}

TEST(NotNumbers, TextCellThatIsNoNumberEndsTheRow) {
  TempDir dir;
  std::string mask = dir.write("m.asc", text_header("4", "1") + "1 1 1 1\n");
  struct Case {
    const char* cells;
    int read;  // numbers read before the stall
  };
  const Case cases[] = {
      {"5 1.#INF 7 8", 2},  // "1." is a number; the "#" after it is not
      {"5 -nan 7 8", 1},    {"5 nan 7 8", 1},     {"5 inf 7 8", 1}, {"5 -1.#IND 7 8", 2},
      {"5 word 7 8", 1},    {"5 0x10 7 8", 2},    {"5 , 7 8", 1},   {"5 - 7 8", 1},
      {"5 . 7 8", 1},       {"5 e5 7 8", 1},      {"5 \x01 7 8", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cells);
    std::string grid = dir.write("g.asc", text_header("4", "1") + c.cells + "\n");
    expect_run(run_tool({grid, mask, dir.file("out")}), 5, short_row(grid, 1, c.read));
    expect_run(run_tool({mask, grid, dir.file("out")}), 5, short_row(grid, 1, c.read));
  }
}

}  // namespace
}  // namespace plotveil_e2e
