// The records every part of a run shares: the header of a grid, the encoding of
// an input and the format of the output.
#pragma once

#include <bit>
#include <cstdint>

// Binary grids are little-endian and are moved to and from memory as they are.
static_assert(std::endian::native == std::endian::little);

namespace plotveil {

// Twelve values at indexes 1 to 12; index 0 is not used.
struct GridHeader {
  double value[13] = {};
};

// Header indexes.
inline constexpr int kNcols = 1;
inline constexpr int kNrows = 2;
inline constexpr int kXllcorner = 3;
inline constexpr int kYllcorner = 4;
inline constexpr int kCellsize = 5;
inline constexpr int kNodataValue = 6;
inline constexpr int kCount = 7;        // then minimum, maximum, sum, mean,
inline constexpr int kDeviation = 12;   // and the sample standard deviation

enum class GridEncoding : std::uint8_t { ascii, single_precision, double_precision };

// What the output format implies, decided once from the command line: a text
// grid (six keyword lines, then rows of numbers as text; no statistics
// stored), or a binary one (twelve header values, the statistics last, then
// the rows' cells), every value and cell `cell_bytes` long.
struct OutputFormat {
  bool text = true;
  int cell_bytes = 0;  // binary: 4, floats (single precision), or 8, doubles

  friend bool operator==(const OutputFormat&, const OutputFormat&) = default;
};
inline constexpr OutputFormat kTextOutput{true, 0};
inline constexpr OutputFormat kSingleOutput{false, 4};
inline constexpr OutputFormat kDoubleOutput{false, 8};

// A binary grid is recognised only by this no-data value.
inline constexpr double kBinaryNodata = -9999.0;

// The sizes a header can give. A run truncates ncols and nrows into 32-bit
// signed integers: the values strictly between these bounds.
inline constexpr double kInt32Below = -2147483649.0;
inline constexpr double kInt32Above = 2147483648.0;
// A row buffer holds W + 1 cells (index 0 is not used), counted in 32 bits:
// a row has at most this many.
inline constexpr std::int32_t kMostRowCells = 2147483646;
// A single-precision header holds ncols and nrows as 32-bit floats, which
// count every whole number only up to 2^24 = 16777216.
inline constexpr std::int64_t kSingleCountsExactly = std::int64_t{1} << 24;

}  // namespace plotveil
