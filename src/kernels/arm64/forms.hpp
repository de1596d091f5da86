// ARM64: the forms of the jobs in this folder, in NEON registers, which every
// such processor has, for choice.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "grid/numbers/cell_text.hpp"

namespace plotveil {

std::uint64_t space_mask_neon(const char* bytes);
std::size_t read_text_block_neon(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops);
void fill_fixed_texts_neon(const double* values, CellText* texts, std::size_t n);

}  // namespace plotveil
