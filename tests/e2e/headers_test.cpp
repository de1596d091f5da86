// Headers: reading them, requiring both inputs to agree, refusing sizes that
// give no usable rows, and the output header in each format.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "expectations.hpp"
#include "tool_runner.hpp"

namespace plotveil_e2e {
namespace {

std::string mismatch(int index, const std::string& first_value, const std::string& first,
                     const std::string& second, const std::string& second_value) {
  return std::to_string(index) + ". Parameter (" + first_value + ") in " + first +
         " stimmt nicht\n mit dem in " + second + " ueberein (" + second_value + ")\n";
}

std::string header_error(const std::string& name) { return "error reading fiel header from " + name + "\n"; }

double from_bits(std::uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

class Headers : public ::testing::Test {
 protected:
  TempDir dir;
  std::string out = dir.write("out", "old bytes of the output");

  // A run that stops after the output was opened leaves it empty.
  void expect_stop(const std::string& grid_1, const std::string& grid_2, int code,
                   const std::string& message, const std::vector<std::string>& more = {}) {
    std::vector<std::string> args = {grid_1, grid_2, out};
    args.insert(args.end(), more.begin(), more.end());
    expect_run(run_tool(args), code, message);
    EXPECT_EQ(read_file(out), "") << "the output must exist, empty";
  }
};

TEST_F(Headers, FirstDifferenceIsReportedInGerman) {
  // 0.1 has no exact single-precision form: the two values differ as doubles.
  std::string text = dir.write("a.asc", text_grid(binary_header(2, 1, 0.1), {{1, 2}}));
  std::string single = dir.write("b.flt", single_grid(binary_header(2, 1, 0.1), {{1, 2}}));
  expect_stop(text, single, 2, mismatch(3, "0.100000", text, single, "0.100000"));
  expect_stop(single, text, 2, mismatch(3, "0.100000", single, text, "0.100000"), {"-f:d"});
  // Which difference is shown, and how, is unit-tested (CompareHeaders).
}

TEST_F(Headers, NaNNeverMatchesAndFailsBeforeTheSizeIsChecked) {
  // A NaN never equals anything, itself included: it fails before any size check.
  BinaryHeader quiet = binary_header(1, 1);
  quiet[0] = from_bits(0x7FF8000000000000u);
  BinaryHeader invalid = binary_header(1, 1);
  invalid[4] = from_bits(0xFFF8000000000000u);
  std::string q = dir.write("q.dbl", double_grid(quiet, {{1}}));
  std::string i = dir.write("i.dbl", double_grid(invalid, {{1}}));
  expect_stop(q, q, 2, mismatch(1, "1.#QNAN", q, q, "1.#QNAN"));
  expect_stop(i, i, 2, mismatch(5, "-1.#IND", i, i, "-1.#IND"));
}

TEST_F(Headers, StatisticsOfTheInputsNeedNotAgree) {
  BinaryHeader with_stats = binary_header(1, 1);
  for (int k = 6; k < 12; ++k) with_stats[static_cast<std::size_t>(k)] = 100 + k;
  std::string a = dir.write("a.dbl", double_grid(with_stats, {{4}}));
  std::string b = dir.write("b.flt", single_grid(binary_header(1, 1), {{1}}));
  expect_run(run_tool({a, b, out}), 0, dots(1));
}

// Which headers are refused, and which sizes, is unit-tested (ReadHeader,
// CheckGridSize); here, that the run stops after opening its output, naming
// the grid in either place, in every output format.
TEST_F(Headers, IncompleteHeaderIsRefused) {
  std::string good = dir.write("good.asc", text_header("1", "1") + "1\n");
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"text, five pairs", "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n"},
      {"text, a word for a number", "ncols 1\nnrows one\nxllcorner 0\nyllcorner 0\ncellsize 1\n-9999\n1\n"},
      // Recognised from its first 48 and 24 bytes, without all twelve values.
      {"double", double_grid(binary_header(1, 1), {}).substr(0, 48)},
      {"single", single_grid(binary_header(1, 1), {}).substr(0, 24)},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    std::string bad = dir.write("bad", bytes);
    expect_stop(bad, good, 1, header_error(bad));
    expect_stop(good, bad, 1, header_error(bad), {"-f:d"});
  }
}

TEST_F(Headers, SizesThatGiveNoUsableRowsAreRefused) {
  std::string text = dir.write("g.asc", text_header("1e400", "1") + "1 2 3\n");
  expect_stop(text, text, 1, "grid " + text + " has an unusable size (ncols 1.#INF, nrows 1)\n");
  // Refused before any header is written, whatever the output format.
  std::string grid = dir.write("g.dbl", double_grid(binary_header(-1, 1), {}));
  for (const char* format : {"-f:s", "-f:d"}) {
    SCOPED_TRACE(format);
    expect_stop(grid, grid, 1, "grid " + grid + " has an unusable size (ncols -1, nrows 1)\n", {format});
  }
}

TEST_F(Headers, TextOutputHeader) {
  // No rows: the header alone, with whole numbers truncated toward zero and
  // the others in the fewest digits, six or more, that read back.
  std::string grid = dir.write(
      "g.asc", text_header("100.9", "-2.5", "1234.5678", "-0.000123456789", "2.5e-12", "-9999"));
  expect_run(run_tool({grid, grid, out}), 0, "\n");
  EXPECT_EQ(read_file(out),
            "ncols\t100\r\nnrows\t-2\r\nxllcorner\t1234.5678\r\nyllcorner\t-0.000123456789\r\n"
            "cellsize\t2.5e-012\r\nnodata_value\t-9999\r\n");

  BinaryHeader odd = binary_header(-0.5, 0, 1e100, -0.0, 999999.5, -9999);
  std::string binary = dir.write("g.dbl", double_grid(odd, {}));
  expect_run(run_tool({binary, binary, out, "-f:t"}), 0, "\n");
  EXPECT_EQ(read_file(out),
            "ncols\t0\r\nnrows\t0\r\nxllcorner\t1e+100\r\nyllcorner\t-0\r\n"
            "cellsize\t999999.5\r\nnodata_value\t-9999\r\n");
}

TEST_F(Headers, TextOutputKeepsTheGridWhereItIs) {
  // UTM coordinates need seven digits: a text output given back with the mask
  // must still agree with it, whatever the header's form. Its no-data cells
  // are written as its header writes the value, so they read back as no data.
  struct Case {
    const char* what;
    std::string grid_header;
    std::string mask_header;
    const char* written;
    std::string nodata = "-9999";   // in the cells
    std::string nodata_written = "-9999";
  };
  const Case cases[] = {
      {"UTM corner", text_header("2", "2", "350002.5", "5600015", "2.5"),
       text_header("2", "2", "350002.5", "5600015", "2.5"),
       "xllcorner\t350002.5\r\nyllcorner\t5600015\r\ncellsize\t2.5\r\nnodata_value\t-9999\r\n"},
      {"cell centres against corners",
       "ncols 2\nnrows 2\nxllcenter 350003.75\nYLLCENTER 5600016.25\ncellsize 2.5\nnodata_value -9999\n",
       text_header("2", "2", "350002.5", "5600015", "2.5"),
       "xllcorner\t350002.5\r\nyllcorner\t5600015\r\ncellsize\t2.5\r\nnodata_value\t-9999\r\n"},
      {"five lines against six", "ncols 2\nnrows 2\nxllcorner 0.1\nyllcorner 0\ncellsize 0.000833333333\n",
       text_header("2", "2", "0.1", "0", "0.000833333333"),
       "xllcorner\t0.1\r\nyllcorner\t0\r\ncellsize\t0.000833333333\r\nnodata_value\t-9999\r\n"},
      {"keywords in another order and case",
       "ncols 2\nnrows 2\ncellsize 2.5\nyllcenter 5600016.25\nxllcenter 350003.75\nnodata_value -9999\n",
       "NCOLS 2\nNROWS 2\nXLLCORNER 350002.5\nYLLCORNER 5600015\nNODATA_VALUE -9999\nCELLSIZE 2.5\n",
       "xllcorner\t350002.5\r\nyllcorner\t5600015\r\ncellsize\t2.5\r\nnodata_value\t-9999\r\n"},
      {"no-data of seven digits", text_header("2", "2", "0", "0", "1", "-1234567"),
       text_header("2", "2", "0", "0", "1", "-1234567"),
       "xllcorner\t0\r\nyllcorner\t0\r\ncellsize\t1\r\nnodata_value\t-1234567\r\n", "-1234567", "-1234567"},
      {"the lowest float as no-data", text_header("2", "2", "0", "0", "1", "-3.4028234663852886e+38"),
       text_header("2", "2", "0", "0", "1", "-3.40282346638528859811704183484516925440e+38"),
       "xllcorner\t0\r\nyllcorner\t0\r\ncellsize\t1\r\nnodata_value\t-3.4028234663852886e+038\r\n",
       "-3.4028234663852886e+38", "-3.4028234663852886e+038"},
      {"no-data that six digits round", text_header("2", "2", "0", "0", "1", "-123456.7"),
       text_header("2", "2", "0", "0", "1", "-123456.7"),
       "xllcorner\t0\r\nyllcorner\t0\r\ncellsize\t1\r\nnodata_value\t-123456.7\r\n", "-123456.7", "-123456.7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // grid_1's own no-data cell under a kept mask cell, and a masked cell.
    std::string grid = dir.write("g.asc", c.grid_header + "1 2\n" + c.nodata + " 4\n");
    std::string mask = dir.write("m.asc", c.mask_header + "1 " + c.nodata + "\n1 1e300\n");
    expect_run(run_tool({grid, mask, out}), 0, dots(2));
    EXPECT_EQ(read_file(out), std::string("ncols\t2\r\nnrows\t2\r\n") + c.written + "1\t" + c.nodata_written +
                                  "\r\n" + c.nodata_written + "\t4\r\n");
    std::string again = dir.file("again.asc");
    expect_run(run_tool({out, mask, again}), 0, dots(2));
    EXPECT_EQ(read_file(again), read_file(out));
    // Given back as the mask, its no-data cells mask.
    expect_run(run_tool({grid, out, again}), 0, dots(2));
    EXPECT_EQ(read_file(again), read_file(out));
  }
}

TEST_F(Headers, DoubleOutputHeader) {
  // A single grid_1: its header values widened exactly; the statistics are
  // those of this run, which counts nothing over no rows.
  BinaryHeader header = binary_header(3, 0, 0.1, -2.75, 30.85, -9999);
  for (std::size_t k = 6; k < 12; ++k) header[k] = 1000 + static_cast<double>(k);
  std::string single = dir.write("g.flt", single_grid(header, {}));
  expect_run(run_tool({single, single, out, "-f:d"}), 0, "\n");
  const std::string bytes = read_file(out);
  ASSERT_EQ(bytes.size(), 96u);
  const double expected[12] = {3, 0, static_cast<float>(0.1), -2.75, static_cast<float>(30.85), -9999,
                               0, 0, 0, 0, -9999, -9999};
  for (std::size_t k = 0; k < 12; ++k) EXPECT_EQ(double_at(bytes, k), expected[k]) << "index " << k + 1;

  // A double grid_1: its values byte for byte.
  std::string dbl = dir.write("g.dbl", double_grid(header, {}));
  expect_run(run_tool({dbl, dbl, out, "-f:d"}), 0, "\n");
  EXPECT_EQ(read_file(out).substr(0, 48), read_file(dbl).substr(0, 48));
}

TEST_F(Headers, SingleOutputHeader) {
  // Each value rounded to the nearest single; the statistics of a run with no
  // counted cell.
  std::string text = dir.write("g.asc", text_header("4", "-1", "0.1", "16777217", "1e40", "-9999"));
  expect_run(run_tool({text, text, out, "-f:s"}), 0, "\n");
  const std::string expected =
      single_bytes(4.0f) + single_bytes(-1.0f) + single_bytes(0.1f) + single_bytes(16777216.0f) +
      single_bytes(std::numeric_limits<float>::infinity()) + single_bytes(-9999.0f) +
      single_bytes(std::vector<double>{0, 0, 0, 0, -9999, -9999});
  EXPECT_EQ(hex(read_file(out)), hex(expected));
}

}  // namespace
}  // namespace plotveil_e2e
