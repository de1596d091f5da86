#include "grid/files/header.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "captured_run.hpp"
#include "grid/files/encoding.hpp"
#include "grid/files/text_input.hpp"
#include "temp_file.hpp"

namespace plotveil {
namespace {

using testing::CapturedRun;
using testing::exit_code_of;
using testing::TempFile;

std::string binary_header(const double (&values)[12]) {
  return std::string(reinterpret_cast<const char*>(values), sizeof values);
}

std::string single_header(const float (&values)[12]) {
  return std::string(reinterpret_cast<const char*>(values), sizeof values);
}

struct Probe {
  int code = -1;
  GridEncoding encoding = GridEncoding::ascii;
};

Probe detect(const std::string& bytes) {
  TempFile file(bytes);
  InStream in;
  EXPECT_EQ(open_input(in, file.path()), OpenInput::ok);
  Probe probe;
  probe.code = exit_code_of([&] { probe.encoding = detect_encoding(in, "grid"); });
  return probe;
}

TEST(DetectEncoding, RecognisesTextByItsFirstFourBytesOnly) {
  EXPECT_EQ(detect("ncols 3").encoding, GridEncoding::ascii);
  EXPECT_EQ(detect("ncolumns").encoding, GridEncoding::ascii);
  EXPECT_EQ(detect("ncol").encoding, GridEncoding::ascii);
  EXPECT_EQ(detect("NCOLS 3").encoding, GridEncoding::ascii);
  EXPECT_EQ(detect("nCoL").encoding, GridEncoding::ascii);
  CapturedRun run;
  EXPECT_EQ(detect("mcols 3").code, 98);
  EXPECT_EQ(detect(" ncols 3").code, 98);
  EXPECT_EQ(detect("\xEF\xBB\xBFncols 3").code, 98);
  EXPECT_EQ(detect("nco").code, 98);
  EXPECT_EQ(detect("").code, 98);
  EXPECT_EQ(run.printed(),
            "could not recognise file format (ascii, single or double) for grid\n"
            "could not recognise file format (ascii, single or double) for grid\n"
            "could not recognise file format (ascii, single or double) for grid\n"
            "could not recognise file format (ascii, single or double) for grid\n"
            "could not recognise file format (ascii, single or double) for grid\n");
}

TEST(DetectEncoding, RecognisesBinaryGridsOnlyByAnExactMinus9999) {
  double d[12] = {3, 2, 0, 0, 1, -9999};
  EXPECT_EQ(detect(binary_header(d)).encoding, GridEncoding::double_precision);
  // Only bytes the file has count: the double test needs 48 bytes.
  EXPECT_EQ(detect(binary_header(d).substr(0, 48)).encoding, GridEncoding::double_precision);
  float s[12] = {3, 2, 0, 0, 1, -9999};
  EXPECT_EQ(detect(single_header(s)).encoding, GridEncoding::single_precision);
  EXPECT_EQ(detect(single_header(s).substr(0, 24)).encoding, GridEncoding::single_precision);

  // A double grid whose bytes 20-23 also form the single -9999 stays double.
  double both[12] = {3, 2, 0, 0, 1, -9999};
  float marker = -9999;
  std::memcpy(reinterpret_cast<char*>(both) + 20, &marker, 4);
  EXPECT_EQ(detect(binary_header(both)).encoding, GridEncoding::double_precision);

  CapturedRun run;
  for (double nodata : {-9999.5, std::nan("")}) {
    double off[12] = {3, 2, 0, 0, 1, nodata};
    EXPECT_EQ(detect(binary_header(off)).code, 98) << nodata;
    float single_off[12] = {3, 2, 0, 0, 1, static_cast<float>(nodata)};
    EXPECT_EQ(detect(single_header(single_off)).code, 98) << nodata;
  }
  double one_bit_off[12] = {3, 2, 0, 0, 1, std::nextafter(-9999.0, 0.0)};
  EXPECT_EQ(detect(binary_header(one_bit_off)).code, 98);
  EXPECT_EQ(detect(single_header(s).substr(0, 23)).code, 98);
}

struct HeaderRead {
  int code = -1;
  GridHeader header;
  std::string printed;
};

HeaderRead read_text_header(const std::string& bytes) {
  CapturedRun run;
  TempFile file(bytes);
  InStream in;
  EXPECT_EQ(open_input(in, file.path()), OpenInput::ok);
  rewind_input(in, true);
  HeaderRead result;
  result.code = exit_code_of([&] { read_header(in, GridEncoding::ascii, "g.asc", result.header); });
  result.printed = run.printed();
  return result;
}

TEST(ReadHeader, TakesTextNumbersByPositionWithFiveLinesAndCentresKnown) {
  struct Case {
    const char* what;
    const char* bytes;
    double values[7];
    double first_cell;
  };
  const Case cases[] = {
      {"keywords not examined", "nrows 5\nncols 4\nb 1.5\nc -2\r\nd 25\ne -9999\n1 2",
       {0, 5, 4, 1.5, -2, 25, -9999}, 1},
      {"a sixth word of letters and digits", "a 1\nb 1\nc 0\nd 0\ne 1\nn9 3\n4", {0, 1, 1, 0, 0, 1, 3}, 4},
      {"five lines", "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n7 8", {0, 2, 1, 0, 0, 1, -9999}, 7},
      {"five lines, a signed cell", "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\r\n-7 8",
       {0, 2, 1, 0, 0, 1, -9999}, -7},
      {"five lines, a plus", "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1 +7 8", {0, 2, 1, 0, 0, 1, -9999}, 7},
      {"five lines, a point", "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n.5 8", {0, 2, 1, 0, 0, 1, -9999}, 0.5},
      {"centres", "ncols 2\nnrows 1\nxllcenter 105\nyllcenter 25\ncellsize 10\nnodata_value -1\n3",
       {0, 2, 1, 100, 20, 10, -1}, 3},
      {"centres in any case, five lines", "ncols 2\nnrows 1\nXLLCENTER 0.5\nYllCenter -0.5\ncellsize 1\n3",
       {0, 2, 1, 0, -1, 1, -9999}, 3},
      {"one centre", "ncols 2\nnrows 1\nxllcorner 105\nyllcenter 25\ncellsize 10\nnodata_value -1\n3",
       {0, 2, 1, 105, 20, 10, -1}, 3},
      {"a centre keyword elsewhere", "xllcenter 2\nnrows 1\nxllcenters 105\nyllcentre 25\ncellsize 10\nyllcenter -1\n3",
       {0, 2, 1, 105, 25, 10, -1}, 3},
      // Keywords all known: each value to the field it names, in any order and case.
      {"by name", "ncols 2\nnrows 2\ncellsize 1\nxllcenter 100\nyllcenter 200\nnodata_value -9999\n3",
       {0, 2, 2, 99.5, 199.5, 1, -9999}, 3},
      {"by name, y before x", "ncols 2\nnrows 1\nyllcorner 7\nxllcorner 5\ncellsize 1\nnodata_value -1\n3",
       {0, 2, 1, 5, 7, 1, -1}, 3},
      {"by name, no-data before cellsize", "NROWS 1\nNCOLS 2\nXLLCORNER 5\nYLLCORNER 7\nNODATA_VALUE -1\nCELLSIZE 4\n3",
       {0, 2, 1, 5, 7, 4, -1}, 3},
      {"by name, five lines", "Ncols 2\nNrows 1\ncellsize 2\nxllcorner 5\nyllcorner 7\n-3",
       {0, 2, 1, 5, 7, 2, -9999}, -3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CapturedRun run;
    TempFile file(c.bytes);
    InStream in;
    ASSERT_EQ(open_input(in, file.path()), OpenInput::ok);
    rewind_input(in, true);
    GridHeader header;
    ASSERT_EQ(exit_code_of([&] { read_header(in, GridEncoding::ascii, "g.asc", header); }), -1);
    for (int k = 1; k <= 6; ++k) EXPECT_EQ(header.value[k], c.values[k]) << "index " << k;
    double cell = 0;
    ASSERT_TRUE(read_number(in, cell));
    EXPECT_EQ(cell, c.first_cell);
  }
}

TEST(ReadHeader, RefusesATextHeaderWithAMissingWordOrNumber) {
  for (const char* bytes : {
           "ncol", "ncols 2\nnrows 1\n",                                   // the data ends
           "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n",   // five pairs, no cell
           "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value",
           "ncols 3\nnrows x\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value 1\n",
           "ncols 2x nrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value 1\n",
           "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -nan\n",
           "ncols 3\x1a nrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value 1\n",
           // Keywords all known but a field named twice or left out, or cells not square.
           "ncols 2\nnrows 2\nxllcorner 0\nncols 2\ncellsize 1\nnodata_value 1\n1",
           "ncols 2\nnrows 2\nxllcorner 0\nxllcenter 0\ncellsize 1\nnodata_value 1\n1",
           "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\nnodata_value 1\n1 2",
           "NCOLS 2\nNROWS 2\nXLLCORNER 0\nYLLCORNER 0\nDX 1\nDY 2\nNODATA_VALUE 1\n1",
           "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ndx 1\nnodata_value 1\n1",
           // A value with more after its number would pass the rest on as a cell.
           "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -1-2\n5 6",
           "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1-2\n5 6",
       }) {
    HeaderRead r = read_text_header(bytes);
    EXPECT_EQ(r.code, 1) << bytes;
    EXPECT_EQ(r.printed, "error reading fiel header from g.asc\n") << bytes;
  }
}

TEST(ReadHeader, RefusesBinaryHeadersTheFileCannotSupplyWhole) {
  double d[12] = {3, 2, 0, 0, 1, -9999};
  float s[12] = {3, 2, 0, 0, 1, -9999};
  struct Case {
    std::string bytes;
    GridEncoding encoding;
  };
  for (const Case& c : {Case{binary_header(d).substr(0, 95), GridEncoding::double_precision},
                        Case{single_header(s).substr(0, 47), GridEncoding::single_precision}}) {
    CapturedRun run;
    TempFile file(c.bytes);
    InStream in;
    ASSERT_EQ(open_input(in, file.path()), OpenInput::ok);
    GridHeader header;
    EXPECT_EQ(exit_code_of([&] { read_header(in, c.encoding, "g.flt", header); }), 1);
    EXPECT_EQ(run.printed(), "error reading fiel header from g.flt\n");
  }
}

TEST(CompareHeaders, ReportsOnlyTheFirstDifferenceWithBothValues) {
  CapturedRun run;
  GridHeader a, b;
  for (int k = 1; k <= 6; ++k) a.value[k] = b.value[k] = k;
  a.value[7] = 1;  // statistics never stop a run
  EXPECT_EQ(exit_code_of([&] { compare_headers(a, b, "a", "b"); }), -1);
  a.value[3] = 0.1;
  b.value[3] = static_cast<float>(0.1);
  a.value[5] = 7;
  EXPECT_EQ(exit_code_of([&] { compare_headers(a, b, "one.asc", "two.flt"); }), 2);
  EXPECT_EQ(run.printed(),
            "3. Parameter (0.100000) in one.asc stimmt nicht\n"
            " mit dem in two.flt ueberein (0.100000)\n");
}

TEST(CompareHeaders, NeverMatchesNaNAndShowsNonFiniteValuesAsWords) {
  CapturedRun run;
  GridHeader a, b;
  a.value[1] = b.value[1] = std::nan("");
  EXPECT_EQ(exit_code_of([&] { compare_headers(a, b, "a", "b"); }), 2);
  a.value[1] = b.value[1] = 1;
  a.value[2] = -INFINITY;
  b.value[2] = 1e22;
  EXPECT_EQ(exit_code_of([&] { compare_headers(a, b, "a", "b"); }), 2);
  std::string printed = run.printed();
  EXPECT_EQ(printed.substr(0, printed.find('\n') + 1), "1. Parameter (1.#QNAN) in a stimmt nicht\n");
  EXPECT_NE(printed.find("2. Parameter (-1.#INF) in a stimmt nicht\n mit dem in b ueberein (10000000000000000000000.000000)\n"),
            std::string::npos);
}

TEST(CheckGridSize, RefusesSizesThatGiveNoUsableRowBuffer) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double ncols;
    double nrows;
    const char* shown;  // in the message; nullptr: usable
  };
  const Case cases[] = {
      {-0.5, -2147483648.5, nullptr},
      {2147483646.9, 2147483647.9, nullptr},
      {-1, 1, "ncols -1, nrows 1"},
      {-7.5, 1, "ncols -7.5, nrows 1"},
      {2147483647, 1, "ncols 2.14748e+009, nrows 1"},
      {inf, 1, "ncols 1.#INF, nrows 1"},
      {-inf, 1, "ncols -1.#INF, nrows 1"},
      {1e300, 1, "ncols 1e+300, nrows 1"},
      {3, 2147483648.0, "ncols 3, nrows 2.14748e+009"},
      {3, -2147483649.0, "ncols 3, nrows -2.14748e+009"},
      {1, inf, "ncols 1, nrows 1.#INF"},
      {1, -1e300, "ncols 1, nrows -1e+300"},
      {1e300, std::nan(""), "ncols 1e+300, nrows 1.#QNAN"},
  };
  for (const Case& c : cases) {
    CapturedRun run;
    GridHeader h;
    h.value[1] = c.ncols;
    h.value[2] = c.nrows;
    EXPECT_EQ(exit_code_of([&] { check_grid_size(h, "g"); }), c.shown ? 1 : -1) << c.ncols << " x " << c.nrows;
    EXPECT_EQ(run.printed(), c.shown ? std::string("grid g has an unusable size (") + c.shown + ")\n" : "");
  }
}

TEST(SingleHeaderHoldsSize, OnlyCountsAFloatKeepsAsTheRunUsesThem) {
  auto holds = [](double ncols, double nrows) {
    GridHeader h;
    h.value[1] = ncols;
    h.value[2] = nrows;
    return single_header_holds_size(h);
  };
  EXPECT_TRUE(holds(16777216, 16777216));
  EXPECT_FALSE(holds(16777217, 1));
  EXPECT_FALSE(holds(1, 16777217));
  EXPECT_TRUE(holds(16777218, 33554436));    // whole numbers a float holds
  EXPECT_FALSE(holds(1, 16777217.5));        // 16777217 rows, a header of 16777216 or 16777218
  EXPECT_TRUE(holds(16777218.9, 2.5));       // truncated, as the run uses them
  EXPECT_TRUE(holds(3, -16777217));          // no rows either way
  EXPECT_FALSE(holds(2147483646, 1));        // the widest usable row rounds up to 2^31
  EXPECT_TRUE(holds(std::nan(""), INFINITY));  // unusable: check_grid_size refuses it
}

}  // namespace
}  // namespace plotveil
