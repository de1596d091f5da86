// Moving one row of cells between a grid file and a row buffer. Row buffers hold
// W + 1 doubles, cells at indexes 1 to W; index 0 is not used.
#pragma once

#include <cstdint>
#include <string>

#include "grid/files/byte_streams.hpp"
#include "grid/grid_types.hpp"

namespace plotveil {

struct RowShape {
  std::int32_t width = 0;     // W, the cells of a row
  bool line_end = true;       // a text row ends in CR LF; with a fractional
                              // ncols every cell, the last too, ends in a tab
};

RowShape row_shape(double ncols);

// Reads cells 1 to W of the next row into `cells` (as read_row does) and
// returns how many whole cells the input supplied: W unless it ran out.
std::int64_t read_row_cells(InStream& in, GridEncoding encoding, const RowShape& shape, double* cells,
                            float* narrow);

// Reads cells 1 to W of row `row` into `cells`; a "single" row wider than the
// stream's buffer goes through `narrow` (W + 1 floats). A row the input cannot supply whole ends the run
// with code 5, naming this input and the whole cells read.
void read_row(InStream& in, GridEncoding encoding, const std::string& name, const RowShape& shape,
              double* cells, float* narrow, std::int64_t row);

// Ends the run with code 5: row `row` of input `name` ran out after `read` cells.
[[noreturn]] void fail_short_row(const std::string& name, std::int64_t row, std::int64_t read);

// Writes cells 1 to W. A row that cannot be written ends the run with code 6.
void write_row(OutStream& out, OutputFormat format, const double* cells, const RowShape& shape,
               std::int64_t row, const std::string& out_name);

}  // namespace plotveil
