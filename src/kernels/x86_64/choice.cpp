// x86-64: which form does each job. The processor is asked once, on the first
// call of a kernel, whether it has AVX2 (base/cpu_x86.hpp): with it, short
// numbers are read four at a time, values' texts found four at a time and rows
// masked four cells at a time; without it, in SSE2, which every x86-64
// processor has, words are read one at a time, every value is formatted and
// rows are masked two cells at a time. White space is found with SSE2 either
// way (the AVX2 word scanner finds its own).
#include "base/cpu_x86.hpp"
#include "grid/numbers/reading/text_block.hpp"
#include "grid/numbers/reading/white_space.hpp"
#include "grid/numbers/writing/fixed_texts.hpp"
#include "kernels/x86_64/forms.hpp"

namespace plotveil {
namespace {

using detail::mask_cells_x86;
using detail::MaskCells;
using detail::Texts;

void no_fixed_texts(const double*, CellText*, std::size_t) {}

struct Forms {
  decltype(&read_text_block) read_block;
  decltype(&fill_fixed_texts) fixed_texts;
  MaskCells* mask[3];  // by Texts
};

template <bool kAvx2>
constexpr Forms kForms = {
    kAvx2 ? read_text_block_avx2 : read_text_block_sse2,
    kAvx2 ? fill_fixed_texts_avx2 : no_fixed_texts,
    {mask_cells_x86<Texts::none, kAvx2>, mask_cells_x86<Texts::nodata, kAvx2>, mask_cells_x86<Texts::both, kAvx2>},
};

const Forms& forms() {
  static const Forms& chosen = cpu_has_avx2() ? kForms<true> : kForms<false>;
  return chosen;
}

}  // namespace

std::uint64_t space_mask(const char* bytes) { return space_mask_sse2(bytes); }

std::size_t read_text_block(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops) {
  return forms().read_block(text, size, cells, texts, stops);
}

void fill_fixed_texts(const double* values, CellText* texts, std::size_t n) {
  forms().fixed_texts(values, texts, n);
}

namespace detail {

template <Texts kTexts>
void mask_cells(const double* grid, const std::uint64_t* grid_texts, const double* mask, double* out,
                std::uint64_t* out_texts, std::int32_t width, double nodata, std::uint64_t nodata_text,
                GridStatistics& stats) {
  forms().mask[static_cast<int>(kTexts)](grid, grid_texts, mask, out, out_texts, width, nodata, nodata_text, stats);
}

template MaskCells mask_cells<Texts::none>;
template MaskCells mask_cells<Texts::nodata>;
template MaskCells mask_cells<Texts::both>;

}  // namespace detail
}  // namespace plotveil
