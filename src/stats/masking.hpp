// The masking rule: an output cell is grid_1's value where the mask cell lies
// above the no-data value N (or is NaN), and N where the mask cell is at or
// below N. Every output cell is fed to the statistics.
#pragma once

#include <cstdint>

#include "stats/statistics.hpp"

namespace plotveil {

void mask_row(const double* grid, const double* mask, double* out, std::int32_t width, double nodata,
              GridStatistics& stats);

}  // namespace plotveil
