// Moving one row of cells between a grid file and a row buffer. Row buffers hold
// W + 1 doubles, cells at indexes 1 to W; index 0 is not used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "grid/files/byte_streams.hpp"
#include "grid/grid_types.hpp"
#include "grid/numbers/writing/number_format.hpp"

namespace plotveil {

struct RowShape {
  std::int32_t width = 0;     // W, the cells of a row
  bool line_end = true;       // a text row ends in CR LF; with a fractional
                              // ncols every cell, the last too, ends in a tab
};

RowShape row_shape(double ncols);

// Reads cells 1 to W of the next row of a binary grid into `cells` and returns
// how many whole cells the input supplied: W unless it ran out. A "single" row
// wider than the stream's buffer goes through `narrow` (W + 1 floats). Text
// rows are read by a TextCellSource.
std::int64_t read_row_cells(InStream& in, GridEncoding encoding, const RowShape& shape, double* cells,
                            float* narrow);

// Ends the run with code 6 for the failed flush of `out`: its row, and for a
// single row its cell.
[[noreturn]] void fail_write(const OutStream& out, const std::string& out_name);

// Ends the run with code 5: row `row` of input `name` ran out after `read` cells.
[[noreturn]] void fail_short_row(const std::string& name, std::int64_t row, std::int64_t read);

// Writes cells 1 to W in a binary format (not text: text rows are written by
// a TextRowWriter). A row that cannot be written ends the run with code 6.
void write_row_cells(OutStream& out, OutputFormat format, const double* cells, const RowShape& shape,
                     std::int64_t row, const std::string& out_name);

// Room a text cell needs: one number and its separator.
inline constexpr std::size_t kTextCellRoom = kMaxNumberText + 2;

// Where the text of whole cells from `done` to `size` stops going into a
// buffer with `room` bytes free (room >= cell_room): after every cell that
// begins with cell_room bytes of room left.
std::size_t cells_taken(const char* text, std::size_t done, std::size_t size, std::size_t room,
                        std::size_t cell_room);

// Writes text made of whole cells of row `row` (each its number, then a tab, or
// CR LF after a row's last cell as RowShape says), flushing the stream at
// exactly the bytes where writing cell after cell would: before a cell that may
// not fit the room left, a cell and its separator taking at most `cell_room`
// bytes (kTextCellRoom, or more for a no-data value written with more digits).
// A failed flush ends the run with code 6, naming `row`.
void write_row_text(OutStream& out, const char* text, std::size_t size, std::size_t cell_room, std::int64_t row,
                    const std::string& out_name);

}  // namespace plotveil
