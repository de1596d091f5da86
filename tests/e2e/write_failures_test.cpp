// Runs that fail while rows are read or written: the message follows the dots
// of the finished rows, and the output keeps what was written before.
#include <gtest/gtest.h>

#include <regex>

#include "expectations.hpp"
#include "tool_runner.hpp"

namespace plotveil_e2e {
namespace {

const std::string kFull = "/dev/full";

bool dev_full_usable() { return file_exists(kFull); }

TEST(DiskFull, SmallOutputFailsWhenItIsWrittenOut) {
  if (!dev_full_usable()) GTEST_SKIP() << "no /dev/full here";
  TempDir dir;
  std::string grid = dir.write("g.asc", text_grid(binary_header(3, 2), {{1, 2, 3}, {4, 5, 6}}));
  for (const char* format : {"-f:t", "-f:s", "-f:d"}) {
    SCOPED_TRACE(format);
    expect_run(run_tool({grid, grid, kFull, format}), 4, dots(2) + "error writing into /dev/full \n");
  }
  // A regular file that takes 40 bytes: the text written behind fails after
  // the last place writing in order flushes, and closing the output says so.
  const std::string out = dir.file("out.asc");
  for (const char* threads : {"PLOTVEIL_THREADS=1", "PLOTVEIL_THREADS=3"}) {
    SCOPED_TRACE(threads);
    RunOptions options;
    options.environment = {threads};
    options.file_size_limit = 40;
    expect_run(run_tool({grid, grid, out}, options), 4, dots(2) + "error writing into " + out + " \n");
    EXPECT_EQ(read_file(out).size(), 40u);
  }
}

TEST(DiskFull, LargeOutputFailsInARow) {
  if (!dev_full_usable()) GTEST_SKIP() << "no /dev/full here";
  TempDir dir;
  // 300 rows of 1000 cells: more than a megabyte in every output format.
  const int width = 1000;
  const int height = 300;
  Rows rows(height, std::vector<double>(width, 123.456));
  std::string grid = dir.write("g.dbl", double_grid(binary_header(width, height), rows));

  struct Case {
    const char* format;
    std::regex message;
  };
  const Case cases[] = {
      {"-f:t", std::regex(R"((\.*)error writing row (\d+) in /dev/full)" + console_text("\n"))},
      {"-f:d", std::regex(R"((\.*)error writing row (\d+) in /dev/full)" + console_text("\n"))},
      {"-f:s", std::regex(R"((\.*)error writing row (\d+), col (\d+) in /dev/full)" + console_text("\n"))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    RunResult run = run_tool({grid, grid, kFull, c.format});
    EXPECT_EQ(run.exit_code, 6);
    EXPECT_EQ(run.err, "");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(run.out, match, c.message)) << run.out;
    const int row = std::stoi(match[2]);
    EXPECT_GT(row, 1);
    EXPECT_LE(row, height);
    EXPECT_EQ(match[1].length(), row - 1) << "one dot for each row before the failing one";
    if (match.size() > 3) {
      const int col = std::stoi(match[3]);
      EXPECT_GE(col, 1);
      EXPECT_LE(col, width);
    }
  }
}

std::string short_row(const std::string& name, int row, int read) {
  return "error reading from " + name + " in row " + std::to_string(row) + " (" + std::to_string(read) +
         " values read)\n";
}

class ShortRow : public ::testing::Test {
 protected:
  TempDir dir;
  std::string out = dir.file("out");
  static constexpr int kWidth = 10;

  static Rows rows(int count) {
    Rows all;
    for (int r = 0; r < count; ++r) {
      std::vector<double> row;
      for (int c = 0; c < kWidth; ++c) row.push_back(r * 100 + c + 0.5);
      all.push_back(row);
    }
    return all;
  }
  static BinaryHeader header() {
    BinaryHeader h = binary_header(kWidth, 6);
    for (std::size_t k = 6; k < 12; ++k) h[k] = 70 + static_cast<double>(k);  // stored statistics
    return h;
  }
  // A grid of six rows whose file ends `missing` bytes into row 4.
  static std::string cut(const std::string& whole, std::size_t cell_size, std::size_t missing) {
    return whole.substr(0, (12 + 4 * kWidth) * cell_size - missing);
  }
};

TEST_F(ShortRow, BinaryInputEndingInsideARow) {
  const std::string single_whole = single_grid(header(), rows(6));
  const std::string double_whole = double_grid(header(), rows(6));
  const std::string complete = dir.write("complete.dbl", double_whole);
  struct Case {
    const char* what;
    std::string bytes;
    int read;
  };
  const Case cases[] = {
      {"single, one cell short", cut(single_whole, 4, 4), 9},
      {"single, half a cell short", cut(single_whole, 4, 2), 9},
      {"single, row 4 missing", cut(single_whole, 4, 40), 0},
      {"double, one cell short", cut(double_whole, 8, 8), 9},
      {"double, half a cell short", cut(double_whole, 8, 3), 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string cut_grid = dir.write("cut", c.bytes);
    // Short as grid_1, then as the mask.
    expect_run(run_tool({cut_grid, complete, out, "-f:d"}), 5, "..." + short_row(cut_grid, 4, c.read));
    // Rows 1 to 3 are in the file, after a header that still holds grid_1's
    // stored statistics.
    const BinaryHeader h = header();
    const Rows all = rows(6);
    std::vector<double> expected(h.begin(), h.end());
    for (int r = 0; r < 3; ++r) expected.insert(expected.end(), all[r].begin(), all[r].end());
    EXPECT_EQ(hex(read_file(out)), hex(double_bytes(expected)));

    expect_run(run_tool({complete, cut_grid, out, "-f:s"}), 5, "..." + short_row(cut_grid, 4, c.read));
    EXPECT_EQ(read_file(out).size(), (12u + 3 * kWidth) * 4);

    // Into text, rows read ahead by workers stop where reading in order does.
    std::string text_out[2];
    for (int k = 0; k < 2; ++k) {
      RunOptions options;
      options.environment = {k == 0 ? "PLOTVEIL_THREADS=1" : "PLOTVEIL_THREADS=3"};
      expect_run(run_tool({complete, cut_grid, out, "-f:t"}, options), 5, "..." + short_row(cut_grid, 4, c.read));
      text_out[k] = read_file(out);
    }
    EXPECT_EQ(text_out[1], text_out[0]);
  }
}

TEST_F(ShortRow, GridOneIsReadFirst) {
  std::string a = dir.write("a.flt", cut(single_grid(header(), rows(6)), 4, 4));
  std::string b = dir.write("b.flt", cut(single_grid(header(), rows(6)), 4, 8));
  expect_run(run_tool({a, b, out}), 5, "..." + short_row(a, 4, 9));
  expect_run(run_tool({b, a, out}), 5, "..." + short_row(b, 4, 8));
}

TEST_F(ShortRow, TextInputWithTooFewNumbers) {
  const std::string head = text_header("3", "4");
  std::string complete = dir.write("complete.asc", head + "1 2 3\n4 5 6\n7 8 9\n10 11 12\n");
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"data ends", head + "1 2 3\n4 5 6\n7 8\n"},
      {"data ends at 0x1A", head + "1 2 3\n4 5 6\n7 8\x1A 9\n10 11 12\n"},
      {"a word", head + "1 2 3\n4 5 6\n7 8 nine\n10 11 12\n"},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    std::string cut_grid = dir.write("cut.asc", bytes);
    expect_run(run_tool({cut_grid, complete, out}), 5, ".." + short_row(cut_grid, 3, 2));
    EXPECT_EQ(read_file(out),
              "ncols\t3\r\nnrows\t4\r\nxllcorner\t0\r\nyllcorner\t0\r\ncellsize\t1\r\n"
              "nodata_value\t-9999\r\n1\t2\t3\r\n4\t5\t6\r\n");
    expect_run(run_tool({complete, cut_grid, out, "-f:s"}), 5, ".." + short_row(cut_grid, 3, 2));
    const std::string bytes_out = read_file(out);
    ASSERT_EQ(bytes_out.size(), (12u + 6) * 4);
    // A text grid_1 has no stored statistics: zeros stay in the header.
    EXPECT_EQ(hex(bytes_out.substr(24, 24)), hex(std::string(24, '\0')));
  }
}


// Grids of a few megabytes, read and written in many blocks: wherever a run
// stops, one thread and many leave the same dots, message and output bytes.
TEST(ManyBlocks, OneThreadAndManyEndAlike) {
  TempDir dir;
  constexpr int kWidth = 500;
  constexpr int kHeight = 400;
  // Cells of row r (from 1), as text; `at` replaces one cell's text.
  auto grid = [&](int rows, int cells_after, std::pair<int, std::string> at = {0, ""}) {
    std::string text = text_header(std::to_string(kWidth), std::to_string(kHeight));
    for (int r = 1; r <= rows + 1; ++r) {
      int cells = r <= rows ? kWidth : cells_after;
      for (int c = 1; c <= cells; ++c) {
        int cell = (r - 1) * kWidth + c;
        if (cell == at.first) {
          text += at.second;
        } else {
          text += std::to_string(cell % 9973) + "." + std::to_string(cell % 1000);
        }
        text += c < kWidth ? " " : "\r\n";
      }
    }
    return text;
  };
  const std::string whole = dir.write("whole.asc", grid(kHeight, 0));
  struct Case {
    const char* what;
    std::string first, second;
    std::uint64_t file_size_limit;
    int code;
    std::string tail;  // what the printed text ends with
  };
  const std::string shorter = dir.file("short.asc");
  const std::string worded = dir.file("word.asc");
  const std::string longer = dir.file("long.asc");
  write_file(shorter, grid(350, 123));
  write_file(worded, grid(kHeight, 0, {299 * kWidth + 17, "nan"}));
  write_file(longer, grid(kHeight, 0, {4 * kWidth + 3, "0." + std::string(600000, '3')}));
  // One 8-byte cell per row after an output header of 86 bytes: the cell of
  // row 131060 begins exactly where the 1 MiB output buffer still has room for
  // one cell, so the first write, which fails, comes before row 131061. After
  // an 87-byte header that cell begins a byte later, and the write before it.
  auto column = [&](const std::string& name, const std::string& xll) {
    std::string text = text_header("1", "200000", xll);
    for (int r = 0; r < 200000; ++r) text += "1234.5\n";
    return dir.write(name, text);
  };
  const std::string column_86 = column("column_86.asc", "123456");
  const std::string column_87 = column("column_87.asc", "-123456");
  const std::string dots_131059 = dots(131059).substr(0, 131059);
  const Case cases[] = {
      {"short row", shorter, whole, 0, 5, short_row(shorter, 351, 123)},
      {"word in a cell", whole, worded, 0, 5, short_row(worded, 300, 16)},
      {"write fails", whole, whole, 12345, 6, " in " + dir.file("out") + "\n"},
      {"write fails after a cell at the buffer's last room", column_86, column_86, 12345, 6,
       dots_131059 + ".error writing row 131061 in " + dir.file("out") + "\n"},
      {"write fails before a cell a byte past it", column_87, column_87, 12345, 6,
       dots_131059 + "error writing row 131060 in " + dir.file("out") + "\n"},
      {"a number longer than a block", longer, whole, 0, 0, dots(kHeight)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string printed[2], written[2];
    for (int k = 0; k < 2; ++k) {
      RunOptions options;
      options.environment = {k == 0 ? "PLOTVEIL_THREADS=1" : "PLOTVEIL_THREADS=3"};
      options.file_size_limit = c.file_size_limit;
      RunResult run = run_tool({c.first, c.second, dir.file("out")}, options);
      EXPECT_EQ(run.exit_code, c.code);
      EXPECT_EQ(run.err, "");
      const std::string tail = console_text(c.tail);
      ASSERT_GE(run.out.size(), tail.size());
      EXPECT_EQ(run.out.substr(run.out.size() - tail.size()), tail);
      printed[k] = run.out;
      written[k] = read_file(dir.file("out"));
    }
    EXPECT_EQ(printed[1], printed[0]);
    EXPECT_EQ(written[1].size(), written[0].size());
    EXPECT_TRUE(written[1] == written[0]) << "the output files differ";
    if (c.file_size_limit != 0) {
      EXPECT_EQ(written[0].size(), c.file_size_limit);
    }
  }
}

}  // namespace
}  // namespace plotveil_e2e
