#include "grid/files/sidecar.hpp"

#include <charconv>
#include <cmath>
#include <limits>

namespace plotveil {
namespace {

std::string keyword_line(const char* keyword, const std::string& value) {
  std::string line = keyword;
  line.resize(14, ' ');
  return line + value + "\n";
}

}  // namespace

std::string sidecar_name(const std::string& grid) {
  std::size_t component = grid.find_last_of("/\\");
  component = component == std::string::npos ? 0 : component + 1;
  std::size_t dot = grid.rfind('.');
  if (dot == std::string::npos || dot <= component) return grid + ".hdr";
  return grid.substr(0, dot) + ".hdr";
}

std::string exact_number(double value) {
  char text[32];
  std::to_chars_result done = std::to_chars(text, text + sizeof text, value);
  return std::string(text, done.ptr);
}

std::string describe_grid(const GridHeader& header, GridEncoding encoding, SidecarLayout& layout) {
  const double ncols = header.value[kNcols];
  const double nrows = header.value[kNrows];
  const double cellsize = header.value[kCellsize];
  const double xll = header.value[kXllcorner];
  const double yll = header.value[kYllcorner];
  // Comparisons written so that NaN fails them.
  constexpr std::int32_t kMostRows = std::numeric_limits<std::int32_t>::max();
  if (!(ncols >= 1 && ncols <= kMostRowCells && ncols == std::floor(ncols))) {
    return "ncols " + exact_number(ncols) + " is not a whole number from 1 to " + std::to_string(kMostRowCells);
  }
  if (!(nrows >= 1 && nrows <= kMostRows && nrows == std::floor(nrows))) {
    return "nrows " + exact_number(nrows) + " is not a whole number from 1 to " + std::to_string(kMostRows);
  }
  if (!(cellsize > 0 && std::isfinite(cellsize))) {
    return "cellsize " + exact_number(cellsize) + " is not a positive finite number";
  }
  if (!std::isfinite(xll) || !std::isfinite(yll)) {
    return "the lower-left corner (" + exact_number(xll) + ", " + exact_number(yll) + ") is not finite";
  }
  const double half = cellsize / 2;
  const double top = yll + nrows * cellsize;
  layout.left = xll;
  layout.top = top;
  layout.upper_left_x = xll + half;
  layout.upper_left_y = top - half;
  if (!std::isfinite(layout.upper_left_x) || !std::isfinite(layout.upper_left_y) || !std::isfinite(top)) {
    return "its upper-left corner lies beyond the range of numbers";
  }
  layout.columns = static_cast<std::int64_t>(ncols);
  layout.rows = static_cast<std::int64_t>(nrows);
  layout.cell_bytes = encoding == GridEncoding::double_precision ? 8 : 4;
  layout.header_bytes = 12 * layout.cell_bytes;
  layout.cell_size = cellsize;
  layout.nodata = header.value[kNodataValue];
  // Fewer than 2^62 cells; their bytes may pass 64 bits, and then no file holds them.
  const std::uint64_t cells = static_cast<std::uint64_t>(layout.columns) * static_cast<std::uint64_t>(layout.rows);
  const std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
  const auto cell_bytes = static_cast<std::uint64_t>(layout.cell_bytes);
  const auto header_bytes = static_cast<std::uint64_t>(layout.header_bytes);
  layout.grid_bytes = cells > (most - header_bytes) / cell_bytes ? most : header_bytes + cells * cell_bytes;
  return "";
}

std::string format_sidecar(const SidecarLayout& layout) {
  std::string text;
  if (layout.cell_bytes == 8) {
    // Pixel (1, 1) of the map information is the upper-left corner of the grid.
    text += "ENVI\n";
    text += "description = {double grid written by plotveil}\n";
    text += "samples = " + std::to_string(layout.columns) + "\n";
    text += "lines = " + std::to_string(layout.rows) + "\n";
    text += "bands = 1\n";
    text += "header offset = " + std::to_string(layout.header_bytes) + "\n";
    text += "file type = ENVI Standard\n";
    text += "data type = 5\n";
    text += "interleave = bsq\n";
    text += "byte order = 0\n";
    text += "map info = {Arbitrary, 1, 1, " + exact_number(layout.left) + ", " + exact_number(layout.top) + ", " +
            exact_number(layout.cell_size) + ", " + exact_number(layout.cell_size) + "}\n";
    text += "data ignore value = " + exact_number(layout.nodata) + "\n";
    return text;
  }
  text += keyword_line("BYTEORDER", "I");
  text += keyword_line("LAYOUT", "BIL");
  text += keyword_line("NROWS", std::to_string(layout.rows));
  text += keyword_line("NCOLS", std::to_string(layout.columns));
  text += keyword_line("NBANDS", "1");
  text += keyword_line("NBITS", std::to_string(layout.cell_bytes * 8));
  text += keyword_line("PIXELTYPE", "FLOAT");
  text += keyword_line("SKIPBYTES", std::to_string(layout.header_bytes));
  text += keyword_line("ULXMAP", exact_number(layout.upper_left_x));
  text += keyword_line("ULYMAP", exact_number(layout.upper_left_y));
  text += keyword_line("XDIM", exact_number(layout.cell_size));
  text += keyword_line("YDIM", exact_number(layout.cell_size));
  text += keyword_line("NODATA", exact_number(layout.nodata));
  return text;
}

}  // namespace plotveil
