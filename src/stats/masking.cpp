#include "stats/masking.hpp"

namespace plotveil {

void mask_row(const double* grid, const double* mask, double* out, std::int32_t width, double nodata,
              GridStatistics& stats) {
  // A copy the output row cannot alias keeps the running sums in registers.
  GridStatistics running = stats;
  for (std::int32_t c = 1; c <= width; ++c) {
    const double v = select(nodata >= mask[c], nodata, grid[c]);
    out[c] = v;
    accumulate(running, v);
  }
  stats = running;
}

}  // namespace plotveil
