#include "stats/masking.hpp"

#include "stats/mask_cells.hpp"

namespace plotveil {

using detail::mask_cells;
using detail::Texts;

void mask_row(const double* grid, const double* mask, double* out, std::int32_t width, double nodata,
              GridStatistics& stats) {
  mask_cells<Texts::none>(grid, nullptr, mask, out, nullptr, width, nodata, 0, stats);
}

void mask_row(const double* grid, const std::uint64_t* grid_texts, const double* mask, double* out,
              std::uint64_t* out_texts, std::int32_t width, double nodata, std::uint64_t nodata_text,
              GridStatistics& stats) {
  if (grid_texts != nullptr) {
    mask_cells<Texts::both>(grid, grid_texts, mask, out, out_texts, width, nodata, nodata_text, stats);
  } else {
    mask_cells<Texts::nodata>(grid, nullptr, mask, out, out_texts, width, nodata, nodata_text, stats);
  }
}

}  // namespace plotveil
