// ARM64: which form does each job. NEON finds white space, reads short
// numbers two at a time and finds values' texts two at a time; rows are
// masked in the portable form, cell after cell.
#include "grid/numbers/reading/text_block.hpp"
#include "grid/numbers/reading/white_space.hpp"
#include "grid/numbers/writing/fixed_texts.hpp"
#include "kernels/arm64/forms.hpp"
#include "stats/mask_cells.hpp"

namespace plotveil {

std::uint64_t space_mask(const char* bytes) { return space_mask_neon(bytes); }

std::size_t read_text_block(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops) {
  return read_text_block_neon(text, size, cells, texts, stops);
}

void fill_fixed_texts(const double* values, CellText* texts, std::size_t n) {
  fill_fixed_texts_neon(values, texts, n);
}

namespace detail {

template <Texts kTexts>
void mask_cells(const double* grid, const std::uint64_t* grid_texts, const double* mask, double* out,
                std::uint64_t* out_texts, std::int32_t width, double nodata, std::uint64_t nodata_text,
                GridStatistics& stats) {
  mask_cells_portable<kTexts>(grid, grid_texts, mask, out, out_texts, width, nodata, nodata_text, stats);
}

template MaskCells mask_cells<Texts::none>;
template MaskCells mask_cells<Texts::nodata>;
template MaskCells mask_cells<Texts::both>;

}  // namespace detail
}  // namespace plotveil
