// The texts format_number writes for many values at once, where they are
// quick to find: a value of at least 1 whose six significant digits are
// written in the fixed form ("1234.57", "-12", "999999") is at most eight
// bytes, a CellText (cell_text.hpp). A text output writes a cell with a text
// by copying it.
#pragma once

#include <cstddef>

#include "grid/numbers/cell_text.hpp"

namespace plotveil {

// For each of the `n` values whose text is 0, the text format_number writes
// for it, where this processor finds it several at a time (four with AVX2 on
// x86-64, two with NEON on ARM64: kernels/<kind>/fixed_texts.cpp); the others
// stay 0, for format_number. The portable kind finds none.
void fill_fixed_texts(const double* values, CellText* texts, std::size_t n);

}  // namespace plotveil
