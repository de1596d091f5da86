// The masking rule: an output cell is grid_1's value where the mask cell lies
// above the no-data value N (or is NaN), and N where the mask cell is at or
// below N. Every output cell is fed to the statistics.
#pragma once

#include <cstdint>

#include "stats/statistics.hpp"

namespace plotveil {

void mask_row(const double* grid, const double* mask, double* out, std::int32_t width, double nodata,
              GridStatistics& stats);

// The same, and the texts a text output writes for the cells, as 64-bit words
// (grid/numbers/cell_text.hpp), chosen as the cells are: where grid_1's value
// is kept, its text from `grid_texts` (0 when that is null); where N is
// taken, `nodata_text`.
void mask_row(const double* grid, const std::uint64_t* grid_texts, const double* mask, double* out,
              std::uint64_t* out_texts, std::int32_t width, double nodata, std::uint64_t nodata_text,
              GridStatistics& stats);

}  // namespace plotveil
