// The text a cell was read from, kept to be written again. A text of at most
// six significant digits in the form the output writes ("860.444", "-9999",
// "0.0125": no "+", no leading or trailing zero that the form drops, no
// exponent, 0.0001 <= |value| < 1000000) reads into a double that is written
// back as exactly that text. Such a text of up to eight bytes is kept packed
// in one 64-bit word, so writing the cell is one eight-byte copy.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace plotveil {

static_assert(std::endian::native == std::endian::little, "cell texts are packed in little-endian order");

// A cell's text: its bytes in memory order, zeros after them. 0: none kept.
using CellText = std::uint64_t;

// The longest text kept, in bytes; packing one reads this many bytes from the
// number's start, so they must be readable.
inline constexpr std::size_t kCellTextReach = 8;

// The `length` (1 to 8) bytes at `text`; the 8 bytes there must be readable.
inline CellText pack_cell_text(const char* text, std::size_t length) {
  CellText word;
  std::memcpy(&word, text, sizeof word);
  return word & (~CellText{0} >> (64 - 8 * length));
}

// Writes a kept text (not 0) at `out` and returns its end; 8 bytes are written.
inline char* put_cell_text(CellText text, char* out) {
  std::memcpy(out, &text, sizeof text);
  return out + (71 - std::countl_zero(text)) / 8;
}

}  // namespace plotveil
