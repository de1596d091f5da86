// Reading, comparing and writing grid headers.
#pragma once

#include <cstdint>
#include <string>

#include "grid/files/byte_streams.hpp"
#include "grid/grid_types.hpp"

namespace plotveil {

// Fills indexes 1 to 12 (binary) or 1 to 6 (text) and leaves the stream at the
// first cell of row 1. A header the file cannot supply whole ends the run with
// code 1. A text header is six keyword-and-number lines, or five without
// nodata_value (no-data -9999; the sixth word begins as a number does). When
// every keyword is one of ncols, nrows, xllcorner, xllcenter, yllcorner,
// yllcenter, cellsize and nodata_value, in any letter case, each value goes
// to the field its keyword names, in any order; a field named twice or left
// out ends the run with code 1, as does a dx or dy keyword. A header with any
// other word is read by position. A centre keyword's value becomes the
// corner, half a cell down.
void read_header(InStream& in, GridEncoding encoding, const std::string& name, GridHeader& header);

// Reads the header as read_header does, then puts the stream back at byte 0;
// false, and no message, when the file cannot supply it whole.
bool peek_header(InStream& in, GridEncoding encoding, GridHeader& header);

// The twelve values of a single or double header, widened, into indexes 1 to
// 12. False, and nothing stored, when the file cannot supply them whole.
bool read_binary_header(InStream& in, GridEncoding encoding, GridHeader& header);

// Returns only when indexes 1 to 6 are equal; the first difference ends the run
// with code 2.
void compare_headers(const GridHeader& first, const GridHeader& second,
                     const std::string& first_name, const std::string& second_name);

// The row count grid_1's header gives, once ncols and nrows are known to be
// usable.
struct GridSize {
  std::int32_t rows = 0;     // nrows truncated toward zero
};

// True when ncols and nrows describe rows a run can make: both finite and
// fitting a 32-bit integer after truncation, ncols between -1 and
// kMostRowCells + 1 (exclusive) so that a row buffer of W + 1 cells can exist.
bool grid_size_usable(const GridHeader& header);

// Returns only when grid_size_usable; otherwise the run ends with code 1.
GridSize check_grid_size(const GridHeader& header, const std::string& name);

// False when a single-precision header would give another row width or row
// count than a run uses (ncols and nrows truncated, none below 1): a 32-bit
// float holds every whole number only up to kSingleCountsExactly. Sizes that
// cannot describe rows at all pass here; check_grid_size refuses them.
bool single_header_holds_size(const GridHeader& header);

// Writes the output header from `header` (grid_1's) in the output format. A
// failed write ends the run with code 4.
void write_header(OutStream& out, OutputFormat format, const GridHeader& header,
                  const std::string& out_name);

// For a binary output: writes indexes 7 to 12 of `header`, the statistics
// finalised into it, over the statistics fields of the output's header (bytes
// 24-47 single, 48-95 double). A failed seek or write ends the run with code 4.
// A text output stores nothing.
void store_statistics(OutStream& out, OutputFormat format, const GridHeader& header,
                      const std::string& out_name);

// Header text of a text grid, with CR LF line ends, its four real values in
// a text that reads back to them; returns the end.
char* format_text_header(const GridHeader& header, char* out);

// How the mismatch message shows a value: "%f" for a finite one, the text form
// of numbers otherwise.
std::string format_parameter(double value);

}  // namespace plotveil
