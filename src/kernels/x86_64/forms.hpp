// x86-64: the forms of the jobs in this folder, by the instructions they use,
// for choice.cpp to choose from.
#pragma once

#include <cstddef>
#include <cstdint>

#include "grid/numbers/cell_text.hpp"
#include "stats/mask_cells.hpp"

namespace plotveil {

// SSE2, which every x86-64 processor has.
std::uint64_t space_mask_sse2(const char* bytes);
std::size_t read_text_block_sse2(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops);

// AVX2 with BMI1 and BMI2: only where cpu_has_avx2() says yes (base/cpu_x86.hpp).
std::size_t read_text_block_avx2(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops);
void fill_fixed_texts_avx2(const double* values, CellText* texts, std::size_t n);

namespace detail {

// Two cells at a time in SSE2 registers; with kFours, four at a time in AVX2
// registers first (only where cpu_has_avx2() says yes).
template <Texts kTexts, bool kFours>
void mask_cells_x86(const double* grid, const std::uint64_t* grid_texts, const double* mask, double* out,
                    std::uint64_t* out_texts, std::int32_t width, double nodata, std::uint64_t nodata_text,
                    GridStatistics& stats);

}  // namespace detail
}  // namespace plotveil
