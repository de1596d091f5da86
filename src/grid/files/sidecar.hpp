// The .hdr sidecar that lets GIS software (GDAL, and QGIS and ArcGIS) open a
// single or double grid: the grid's header in their keywords, so that they skip
// the 48 or 96 header bytes and read the cells as a raster band. A single grid
// gets an ESRI header (GDAL's EHdr driver); ESRI headers have no 64-bit floats,
// so a double grid gets an ENVI header (GDAL's ENVI driver), under the same name.
#pragma once

#include <cstdint>
#include <string>

#include "grid/grid_types.hpp"

namespace plotveil {

// Where those programs look for the sidecar of `grid`: its name with the
// extension of its last path component (from the last '.', unless that is the
// component's first byte) replaced by ".hdr", or ".hdr" appended. Both '/'
// and '\\' end a component.
std::string sidecar_name(const std::string& grid);

// What a sidecar says about a grid.
struct SidecarLayout {
  std::int64_t columns = 0;
  std::int64_t rows = 0;
  int cell_bytes = 0;            // 4 or 8
  int header_bytes = 0;          // 48 or 96, skipped before the cells
  double left = 0;               // edges of the grid: xllcorner
  double top = 0;                // and yllcorner + nrows * cellsize
  double upper_left_x = 0;       // centre of the upper-left cell; readers take
  double upper_left_y = 0;       // the edges as centre -/+ half a cell
  double cell_size = 0;
  double nodata = 0;
  std::uint64_t grid_bytes = 0;  // header and all rows
};

// Checks that `header` (of a single or double grid) describes a raster those
// programs can read: ncols and nrows whole numbers from 1 on (ncols at most
// kMostRowCells, nrows at most 2^31 - 1), a positive finite cellsize, finite
// corners, finite cell centres. Returns an empty string and fills `layout`,
// or returns what is wrong, as a phrase for a message.
std::string describe_grid(const GridHeader& header, GridEncoding encoding, SidecarLayout& layout);

// The sidecar's text (ESRI for 4-byte cells, ENVI for 8-byte cells), with "\n"
// line ends. Every number is written in the shortest form that reads back to
// the same double.
std::string format_sidecar(const SidecarLayout& layout);

// The shortest decimal form that reads back to exactly `value`.
std::string exact_number(double value);

}  // namespace plotveil
