#include "grid/numbers/cell_text.hpp"

#include "grid/numbers/number_format.hpp"

namespace plotveil {

CellText cell_text_of(double value) {
  char text[kMaxNumberText];
  const char* end = format_number(value, text);
  const std::size_t length = static_cast<std::size_t>(end - text);
  return length <= kCellTextReach ? pack_cell_text(text, length) : 0;
}

void keep_cell_texts(const double* grid, const CellText* grid_texts, const double* out, CellText* out_texts,
                     std::int32_t width, double nodata, CellText nodata_text) {
  const std::uint64_t nodata_bits = std::bit_cast<std::uint64_t>(nodata);
  for (std::int32_t c = 1; c <= width; ++c) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(out[c]);
    CellText text = 0;
    if (grid_texts != nullptr && bits == std::bit_cast<std::uint64_t>(grid[c])) text = grid_texts[c];
    if (text == 0 && bits == nodata_bits) text = nodata_text;
    out_texts[c] = text;
  }
}

}  // namespace plotveil
