#include "stats/masking.hpp"

namespace plotveil {

void mask_row(const double* grid, const double* mask, double* out, std::int32_t width, double nodata,
              GridStatistics& stats) {
  for (std::int32_t c = 1; c <= width; ++c) {
    double v = nodata >= mask[c] ? nodata : grid[c];
    out[c] = v;
    accumulate(stats, v);
  }
}

}  // namespace plotveil
