// The plain forms, on any processor: a row masked cell after cell. Built into
// every build, as the reference the other kinds' forms are tested against.
#include "stats/mask_cells.hpp"

namespace plotveil::detail {

// The masking rule and `accumulate`, cell after cell.
template <Texts kTexts>
void mask_cells_portable(const double* grid, const std::uint64_t* grid_texts, const double* mask, double* out,
                         std::uint64_t* out_texts, std::int32_t width, double nodata, std::uint64_t nodata_text,
                         GridStatistics& stats) {
  // A copy the output row cannot alias keeps the running sums in registers.
  GridStatistics running = stats;
  for (std::int32_t c = 1; c <= width; ++c) {
    const bool take_nodata = nodata >= mask[c];
    const double v = select(take_nodata, nodata, grid[c]);
    out[c] = v;
    if constexpr (kTexts == Texts::nodata) out_texts[c] = take_nodata ? nodata_text : 0;
    if constexpr (kTexts == Texts::both) out_texts[c] = take_nodata ? nodata_text : grid_texts[c];
    accumulate(running, v);
  }
  stats = running;
}

template MaskCells mask_cells_portable<Texts::none>;
template MaskCells mask_cells_portable<Texts::nodata>;
template MaskCells mask_cells_portable<Texts::both>;

}  // namespace plotveil::detail
