#include "grid/files/sidecar.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

namespace plotveil {
namespace {

GridHeader header_of(double ncols, double nrows, double xll, double yll, double cellsize) {
  GridHeader header;
  double values[] = {ncols, nrows, xll, yll, cellsize, -9999};
  for (int k = 0; k < 6; ++k) header.value[k + 1] = values[k];
  return header;
}

// The number a reader takes from the sidecar line that starts with `keyword`.
double value_after(const std::string& text, const std::string& keyword) {
  std::size_t at = text.find("\n" + keyword);
  EXPECT_NE(at, std::string::npos) << keyword;
  return std::strtod(text.c_str() + text.find_first_not_of(' ', at + 1 + keyword.size()), nullptr);
}

double unit_in_last_place(double x) {
  return std::nextafter(std::fabs(x), std::numeric_limits<double>::infinity()) - std::fabs(x);
}

TEST(Sidecar, NameReplacesTheExtensionOfTheLastComponent) {
  const char* cases[][2] = {
      {"out/masked.flt", "out/masked.hdr"}, {"masked", "masked.hdr"},     {"a.b.flt", "a.b.hdr"},
      {"dir.d/grid", "dir.d/grid.hdr"},     {"dir.d\\grid", "dir.d\\grid.hdr"}, {".flt", ".flt.hdr"},
      {"x/.flt", "x/.flt.hdr"},             {"x.hdr", "x.hdr"},           {"a.", "a.hdr"},
  };
  for (const auto& c : cases) EXPECT_EQ(sidecar_name(c[0]), c[1]) << c[0];
}

TEST(Sidecar, RefusesHeadersNoReaderCanTakeAsARaster) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    GridHeader header;
    const char* says;
  } cases[] = {
      {header_of(0, 2, 0, 0, 1), "ncols 0 is not a whole number"},
      {header_of(2.5, 2, 0, 0, 1), "ncols 2.5 is not"},
      {header_of(nan, 2, 0, 0, 1), "ncols nan is not"},
      {header_of(2147483647, 2, 0, 0, 1), "ncols 2147483647 is not"},
      {header_of(2, -1, 0, 0, 1), "nrows -1 is not"},
      {header_of(2, inf, 0, 0, 1), "nrows inf is not"},
      {header_of(2, 2, 0, 0, 0), "cellsize 0 is not a positive finite number"},
      {header_of(2, 2, 0, 0, -25), "cellsize -25 is not"},
      {header_of(2, 2, 0, 0, nan), "cellsize nan is not"},
      {header_of(2, 2, -inf, 0, 1), "lower-left corner (-inf, 0) is not finite"},
      {header_of(2, 2, 0, nan, 1), "lower-left corner (0, nan) is not finite"},
      {header_of(2, 2147483647, 0, 1e308, 1e300), "upper-left corner lies beyond"},
  };
  for (const Case& c : cases) {
    SidecarLayout layout;
    std::string problem = describe_grid(c.header, GridEncoding::single_precision, layout);
    EXPECT_NE(problem.find(c.says), std::string::npos) << problem;
  }
  SidecarLayout layout;
  EXPECT_EQ(describe_grid(header_of(2147483646, 2147483647, 0, 0, 1), GridEncoding::double_precision, layout), "");
  EXPECT_EQ(layout.grid_bytes, std::numeric_limits<std::uint64_t>::max()) << "more bytes than 64 bits count";
  ASSERT_EQ(describe_grid(header_of(2147483646, 1073741824, 0, 0, 1), GridEncoding::double_precision, layout), "");
  EXPECT_EQ(layout.grid_bytes, 96 + 2147483646ull * 1073741824ull * 8);
}

// Readers take the left and top edges as ULXMAP - XDIM / 2 and ULYMAP + YDIM / 2:
// both come back as the grid's own edges, to the bit, for georeference in
// whole units or short decimals, and within a unit in the last place of the
// centre for any other.
TEST(Sidecar, CellCentresGiveTheEdgesBack) {
  struct Edges {
    double left, top, cellsize;
  };
  auto edges_read = [](double xll, double yll, double cellsize, double nrows) {
    SidecarLayout layout;
    EXPECT_EQ(describe_grid(header_of(7, nrows, xll, yll, cellsize), GridEncoding::single_precision, layout), "");
    std::string text = format_sidecar(layout);
    double xdim = value_after(text, "XDIM");
    double ydim = value_after(text, "YDIM");
    EXPECT_EQ(xdim, cellsize);
    EXPECT_EQ(ydim, cellsize);
    return Edges{value_after(text, "ULXMAP") - xdim * 0.5, value_after(text, "ULYMAP") + ydim * 0.5, xdim};
  };
  const double exact[][4] = {{452000, 236500, 25, 10}, {-0.5, 1000.25, 0.5, 4},     {0, 0, 1, 117},
                             {559705, 4.2e6, 1.0 / 3, 89}, {-2, -7.3, 0.1, 3000}};
  for (const auto& c : exact) {
    Edges read = edges_read(c[0], c[1], c[2], c[3]);
    EXPECT_EQ(read.left, c[0]);
    EXPECT_EQ(read.top, c[1] + c[3] * c[2]);
  }
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> corner(-1e7, 1e7);
  const double sizes[] = {25, 0.1, 0.3, 1.0 / 3, 30.8499999999996, 1e-9, 12345.678};
  for (int k = 0; k < 5000; ++k) {
    double xll = corner(random);
    double yll = corner(random);
    double cellsize = sizes[k % 7];
    double nrows = static_cast<double>(1 + k % 5000);
    double top = yll + nrows * cellsize;
    Edges read = edges_read(xll, yll, cellsize, nrows);
    ASSERT_LE(std::fabs(read.left - xll), unit_in_last_place(xll + cellsize / 2)) << xll << " " << cellsize;
    ASSERT_LE(std::fabs(read.top - top), unit_in_last_place(top - cellsize / 2)) << top << " " << cellsize;
  }
}

TEST(Sidecar, NumbersReadBackToTheSameDouble) {
  const double values[] = {0.1, -9999, 1e-300, 5e-324, 1.7976931348623157e308, 131061.34095165576,
                           static_cast<double>(0.1f), -0.0};
  for (double value : values) {
    std::string text = exact_number(value);
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
    EXPECT_EQ(std::signbit(std::strtod(text.c_str(), nullptr)), std::signbit(value)) << text;
  }
  EXPECT_EQ(exact_number(static_cast<double>(0.1f)), "0.10000000149011612");
}

}  // namespace
}  // namespace plotveil
