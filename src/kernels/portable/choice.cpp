// The portable kind (PLOTVEIL_KERNEL=portable, and processors without a folder
// of their own): every job in its plain form, and no value's text found ahead
// of format_number.
#include "grid/numbers/reading/text_block.hpp"
#include "grid/numbers/reading/white_space.hpp"
#include "grid/numbers/writing/fixed_texts.hpp"
#include "stats/mask_cells.hpp"

namespace plotveil {

std::uint64_t space_mask(const char* bytes) { return space_mask_portable(bytes); }

std::size_t read_text_block(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops) {
  return read_text_block_portable(text, size, cells, texts, stops);
}

void fill_fixed_texts(const double*, CellText*, std::size_t) {}

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
