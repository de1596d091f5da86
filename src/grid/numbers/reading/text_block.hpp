// A block of a text grid's cells: numbers separated by white space
// (white_space.hpp) in a character buffer.
#pragma once

#include <cstddef>

#include "grid/numbers/cell_text.hpp"

namespace plotveil {

// Reads the numbers of `size` bytes at `text`, which end at white space or at
// the end of the data and are followed by one blank in memory. Returns how
// many were stored; `stops` tells whether a read failed after them. With
// `texts`, each cell's text is kept there too (or 0). kTextBlockReach bytes
// after the blank must be readable. In the form of the build's processor kind
// (kernels/<kind>/).
std::size_t read_text_block(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops);

// The same word by word, white space found in plain arithmetic, whatever the
// build (kernels/portable/): the reference the other forms are tested against.
std::size_t read_text_block_portable(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops);

// Readable bytes a block of text needs after its blank.
inline constexpr std::size_t kTextBlockReach = 64;

}  // namespace plotveil
