// Rows through every encoding, the masking rule and the statistics stored in
// a binary output's header.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "expectations.hpp"
#include "tool_runner.hpp"

namespace plotveil_e2e {
namespace {

std::string encode(const std::string& encoding, const BinaryHeader& header, const Rows& rows) {
  if (encoding == "single") return single_grid(header, rows);
  if (encoding == "double") return double_grid(header, rows);
  return text_grid(header, rows, true);
}

const std::string kTextHeader =
    "ncols\t3\r\nnrows\t2\r\nxllcorner\t10\r\nyllcorner\t20\r\ncellsize\t5\r\nnodata_value\t-9999\r\n";

// grid_1, its mask, and what comes out: a mask cell at or below -9999 gives
// -9999; above it, grid_1's cell passes, its own -9999 included.
BinaryHeader grid_header() {
  BinaryHeader header = binary_header(3, 2, 10, 20, 5, -9999);
  for (std::size_t k = 6; k < 12; ++k) header[k] = 500 + static_cast<double>(k);  // stored statistics
  return header;
}
const Rows kGrid = {{1, 2.5, -9999}, {4.25, 100, -3.5}};
const Rows kMask = {{1, 1, 1}, {-9999, -10000.5, 7}};
const std::vector<double> kOutputCells = {1, 2.5, -9999, -9999, -9999, -3.5};
// Counted: 1, 2.5 and -3.5.
const std::vector<double> kStatistics = {3, -3.5, 2.5, 0, 0, std::sqrt(19.5 / 2)};

struct Combination {
  const char* grid;
  const char* mask;
  const char* output;
};

class EncodingCombinations : public ::testing::TestWithParam<Combination> {};

TEST_P(EncodingCombinations, MaskAndStatistics) {
  const Combination& c = GetParam();
  TempDir dir;
  std::string grid = dir.write("grid", encode(c.grid, grid_header(), kGrid));
  std::string mask = dir.write("mask", encode(c.mask, binary_header(3, 2, 10, 20, 5, -9999), kMask));
  std::string out = dir.file("out");
  const std::string format = c.output;
  expect_run(run_tool({grid, mask, out, "-f:" + format.substr(0, 1)}), 0, dots(2));
  const std::string bytes = read_file(out);

  if (format == "text") {
    EXPECT_EQ(bytes, kTextHeader + "1\t2.5\t-9999\r\n-9999\t-9999\t-3.5\r\n");
    // The first row, byte by byte.
    ASSERT_GE(bytes.size(), kTextHeader.size() + 13);
    EXPECT_EQ(hex(bytes.substr(kTextHeader.size(), 13)), "31 09 32 2E 35 09 2D 39 39 39 39 0D 0A");
    return;
  }
  std::vector<double> expected = {3, 2, 10, 20, 5, -9999};
  expected.insert(expected.end(), kStatistics.begin(), kStatistics.end());
  expected.insert(expected.end(), kOutputCells.begin(), kOutputCells.end());
  if (format == "double") {
    EXPECT_EQ(hex(bytes), hex(double_bytes(expected)));
  } else {
    EXPECT_EQ(hex(bytes), hex(single_bytes(expected)));
  }
}

std::vector<Combination> all_combinations() {
  std::vector<Combination> all;
  for (const char* grid : {"text", "single", "double"}) {
    for (const char* mask : {"text", "single", "double"}) {
      for (const char* output : {"text", "single", "double"}) all.push_back({grid, mask, output});
    }
  }
  return all;
}

std::string case_name(const Combination& c) {
  return std::string(c.grid) + "_masked_by_" + c.mask + "_to_" + c.output;
}
// GoogleTest and CTest's test names show this, not the bytes of the struct.
void PrintTo(const Combination& c, std::ostream* os) { *os << case_name(c); }

INSTANTIATE_TEST_SUITE_P(All, EncodingCombinations, ::testing::ValuesIn(all_combinations()),
                         [](const auto& info) { return case_name(info.param); });

// A text output without its six header lines.
std::string text_rows(const std::string& text) {
  std::size_t at = 0;
  for (int line = 0; line < 6 && at != std::string::npos; ++line) {
    at = text.find("\r\n", at);
    if (at != std::string::npos) at += 2;
  }
  return at == std::string::npos ? std::string() : text.substr(at);
}

class RowsEndToEnd : public ::testing::Test {
 protected:
  TempDir dir;
  std::string out = dir.file("out");

  std::string run_ok(const std::string& grid, const std::string& mask, const std::string& format,
                     int rows) {
    expect_run(run_tool({grid, mask, out, format}), 0, dots(rows));
    return read_file(out);
  }
};

TEST_F(RowsEndToEnd, FractionalColumnCountWritesNoLineEnd) {
  std::string grid = dir.write("g.asc", text_header("3.5", "2") + "1 2 3\n4 5 6\n");
  EXPECT_EQ(run_ok(grid, grid, "-f:t", 2),
            "ncols\t3\r\nnrows\t2\r\nxllcorner\t0\r\nyllcorner\t0\r\ncellsize\t1\r\n"
            "nodata_value\t-9999\r\n1\t2\t3\t4\t5\t6\t");
  // Three cells per row in the binary encodings too.
  std::string dbl = dir.write("g.dbl", double_grid(binary_header(3.5, 2), {{1, 2, 3}, {4, 5, 6}}));
  const std::string bytes = run_ok(dbl, grid, "-f:d", 2);
  ASSERT_EQ(bytes.size(), (12u + 6) * 8);
  for (std::size_t c = 0; c < 6; ++c) EXPECT_EQ(double_at(bytes, 12 + c), c + 1.0);
}

TEST_F(RowsEndToEnd, FractionalRowCountProcessesWholeRows) {
  std::string grid = dir.write("g.asc", text_header("2", "2.5") + "1 2\n3 4\n5 6\n");
  EXPECT_EQ(run_ok(grid, grid, "-f:t", 2),
            "ncols\t2\r\nnrows\t2\r\nxllcorner\t0\r\nyllcorner\t0\r\ncellsize\t1\r\n"
            "nodata_value\t-9999\r\n1\t2\r\n3\t4\r\n");
  // A binary output holds (12 + floor(nrows) x W) values.
  EXPECT_EQ(run_ok(grid, grid, "-f:s", 2).size(), (12u + 2 * 2) * 4);
}

TEST_F(RowsEndToEnd, RowsWiderThanTheStreamBuffersPassWhole) {
  // 300000 cells: more than a 1 MiB buffer holds as singles, and as doubles.
  const int width = 300000;
  Rows rows(3, std::vector<double>(width));
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < width; ++c) rows[r][c] = (c % 7 == 0) ? -9999 : r * 1000.0 + c % 977 + 0.25;
  }
  const BinaryHeader h = binary_header(width, 3);
  std::string flt = dir.write("g.flt", single_grid(h, rows));
  std::string dbl = dir.write("g.dbl", double_grid(h, rows));
  for (const std::string& grid : {flt, dbl}) {
    SCOPED_TRACE(grid);
    const std::string single = run_ok(grid, grid, "-f:s", 3);
    ASSERT_EQ(single.size(), (12u + 3u * width) * 4);
    EXPECT_EQ(single.substr(48), single_grid(h, rows).substr(48));
    const std::string dbl_out = run_ok(grid, grid, "-f:d", 3);
    EXPECT_EQ(dbl_out.substr(96), double_grid(h, rows).substr(96));
  }
}

TEST_F(RowsEndToEnd, RowsWithoutCellsStillCountAsRows) {
  for (const char* ncols : {"0", "-0.5", "0.99"}) {
    SCOPED_TRACE(ncols);
    std::string grid = dir.write("g.asc", text_header(ncols, "3"));
    EXPECT_EQ(run_ok(grid, grid, "-f:t", 3),
              "ncols\t0\r\nnrows\t3\r\nxllcorner\t0\r\nyllcorner\t0\r\ncellsize\t1\r\n"
              "nodata_value\t-9999\r\n");
    const std::string bytes = run_ok(grid, grid, "-f:d", 3);
    ASSERT_EQ(bytes.size(), 96u);
    const double no_cells[6] = {0, 0, 0, 0, -9999, -9999};
    for (std::size_t k = 0; k < 6; ++k) EXPECT_EQ(double_at(bytes, 6 + k), no_cells[k]);
  }
  std::string no_rows = dir.write("n.asc", text_header("2", "0") + "1 2\n");
  EXPECT_EQ(run_ok(no_rows, no_rows, "-f:s", 0).size(), 48u);
}

TEST_F(RowsEndToEnd, StatisticsCountCellsMoreThanOneAboveNodata) {
  // -9998 is N + 1 and -10000 lies below N: written, never counted.
  std::string grid = dir.write("g.asc", text_header("6", "1") + "1 2 -9998 3 -10000 -9999\n");
  std::string bytes = run_ok(grid, grid, "-f:d", 1);
  const double expected[6] = {3, 1, 3, 6, 2, 1};
  for (std::size_t k = 0; k < 6; ++k) EXPECT_EQ(double_at(bytes, 6 + k), expected[k]) << "index " << k + 7;
  EXPECT_EQ(double_at(bytes, 14), -9998.0);
  EXPECT_EQ(double_at(bytes, 16), -9999.0) << "a cell below N masks itself";

  // Equal values: no spread; the first counted value sets min and max, even
  // when all are above the starting 0.
  std::string same = dir.write("s.asc", text_header("4", "1") + "5 5 -9999 5\n");
  bytes = run_ok(same, same, "-f:s", 1);
  const float five[6] = {3, 5, 5, 15, 5, 0};
  for (std::size_t k = 0; k < 6; ++k) EXPECT_EQ(single_at(bytes, 6 + k), five[k]) << "index " << k + 7;

  // Text output carries no statistics: the file ends with the last row.
  EXPECT_EQ(text_rows(run_ok(same, same, "-f:t", 1)), "5\t5\t-9999\t5\r\n");
}

TEST_F(RowsEndToEnd, SingleOutputOfValuesBeyondItsRangeIsInfinite) {
  std::string grid = dir.write("g.dbl", double_grid(binary_header(3, 1), {{1e40, -1e40, 1e-50}}));
  std::string mask = dir.write("m.dbl", double_grid(binary_header(3, 1), {{1, 1, 1}}));
  const std::string bytes = run_ok(grid, mask, "-f:s", 1);
  EXPECT_EQ(hex(bytes.substr(48)), "00 00 80 7F 00 00 80 FF 00 00 00 00");
  // The statistics are taken before narrowing: 1e40 and 1e-50 counted.
  EXPECT_EQ(single_at(bytes, 6), 2.0f);
  EXPECT_EQ(single_at(bytes, 9), std::numeric_limits<float>::infinity());
}

TEST_F(RowsEndToEnd, NanMaskLetsGridValuePassWithItsExactBits) {
  auto from_bits = [](std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double payload_nan = from_bits(0x7FF8000000012345u);
  std::string grid = dir.write("g.dbl", double_grid(binary_header(4, 1), {{7, payload_nan, -9999, 8}}));
  std::string mask = dir.write("m.dbl", double_grid(binary_header(4, 1), {{nan, nan, nan, -9999}}));
  const std::string bytes = run_ok(grid, mask, "-f:d", 1);
  EXPECT_EQ(hex(bytes.substr(96)), hex(double_bytes(std::vector<double>{7, payload_nan, -9999, -9999})));
  // Only 7 is counted: a NaN cell never is.
  EXPECT_EQ(double_at(bytes, 6), 1.0);
  EXPECT_EQ(double_at(bytes, 10), 7.0);

  // Through text output a NaN cell becomes a word.
  const std::string text = run_ok(grid, mask, "-f:t", 1);
  EXPECT_EQ(text.substr(text.size() - 25), "\r\n7\t1.#QNAN\t-9999\t-9999\r\n");
}

TEST_F(RowsEndToEnd, TextCellsAreReadAsNumbersWhereverTheLinesBreak) {
  // CR LF line ends, rows spread over lines any way, surplus numbers unread.
  std::string grid = dir.write(
      "g.asc", "ncols 5\r\nnrows 2\r\nxllcorner 0\r\nyllcorner 0\r\ncellsize 1\r\nnodata_value -9999\r\n"
               "0.1 0.33333333333333331\r\n999999.5 1e-5\t-0 +7e2\r\n\r\n1234565 -0.000123456789\r\n"
               "2.5E-12 .5 99 100\x1A 200\r\n");
  EXPECT_EQ(text_rows(run_ok(grid, grid, "-f:t", 2)),
            "0.1\t0.333333\t1e+006\t1e-005\t-0\r\n700\t1.23457e+006\t-0.000123457\t2.5e-012\t0.5\r\n");
}

}  // namespace
}  // namespace plotveil_e2e
