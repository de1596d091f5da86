#include "grid/numbers/text_numbers.hpp"

#include <cstring>

#include "grid/numbers/number_scan.hpp"
#include "grid/numbers/space_mask.hpp"

namespace plotveil {
namespace {

// The masks of the last 64 bytes read up to 63 bytes past the blank.
static_assert(kTextBlockReach >= 63 && kTextBlockReach >= kShortWordReach && kTextBlockReach >= kCellTextReach);

// Reads one word from `p` as reading number after number does: numbers until
// one stops at white space (then returns there) or fails (then nullptr).
template <bool kKeepText>
const char* read_word(const char* p, const char* limit, double* cells, CellText* texts, std::size_t& count) {
  for (;;) {
    if constexpr (kKeepText) texts[count] = 0;
    if (const char* stop = scan_plain_number(p, limit, cells[count])) {
      p = stop;
    } else {
      NumberScanner scanner;
      p = scanner.feed(p, limit);
      if (!scanner.succeeded()) return nullptr;
      cells[count] = scanner.value();
    }
    ++count;
    if (is_text_space(*p)) return p;
  }
}

// The short numbers stored in `count` cells become their values.
void convert_short_numbers(double* cells, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    ShortNumber number;
    std::memcpy(&number, cells + i, sizeof number);
    cells[i] = short_number_value(number);
  }
}

// The white space of the 64 bytes from `base`, the bytes from `size` on
// (the blank and what lies beyond) counted as white space.
template <std::uint64_t (*kSpaceMask)(const char*)>
std::uint64_t window_space(const char* text, std::size_t size, std::size_t base) {
  if (base >= size) return ~std::uint64_t{0};
  const std::uint64_t space = kSpaceMask(text + base);
  return size - base < 64 ? space | (~std::uint64_t{0} << (size - base)) : space;
}

// The words of the block, and their lengths, come from masks of white space
// found 64 bytes at a time, so finding the next number never waits for the
// one before it. Most words are one short number each; any other word is
// read number after number from its first byte, which gives the same cells.
template <bool kKeepText, std::uint64_t (*kSpaceMask)(const char*)>
std::size_t read_block(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops) {
  const char* limit = text + size + 1;  // the blank after the bytes ends every number before it
  std::size_t count = 0;
  std::size_t converted = 0;  // cells before this one hold values, from it on short numbers
  stops = false;
  std::uint64_t space_before = 1;  // the byte before the window is white space
  std::uint64_t next = window_space<kSpaceMask>(text, size, 0);
  for (std::size_t base = 0; base < size; base += 64) {
    const std::uint64_t space = next;
    next = window_space<kSpaceMask>(text, size, base + 64);
    std::uint64_t starts = ~space & ((space << 1) | space_before);
    space_before = space >> 63;
    const std::uint64_t next_shifted = next << 1;
    const char* window = text + base;
    while (starts != 0) {
      const int start = __builtin_ctzll(starts);
      starts &= starts - 1;
      const char* p = window + start;
      // The white space from the word's start on, through the next window;
      // a word of 63 bytes or more is long, and any length beyond eight
      // bytes reads the same.
      const std::uint64_t after = (space >> start) | (next_shifted << (63 - start));
      const std::size_t length = __builtin_ctzll(after | (std::uint64_t{1} << 63));
      ShortNumber number;
      if (scan_short_word<kKeepText>(p, length, number, kKeepText ? texts + count : nullptr)) {
        std::memcpy(cells + count, &number, sizeof number);
        ++count;
        continue;
      }
      convert_short_numbers(cells + converted, count - converted);
      if (read_word<kKeepText>(p, limit, cells, texts, count) == nullptr) {
        stops = true;
        return count;
      }
      converted = count;
    }
  }
  convert_short_numbers(cells + converted, count - converted);
  return count;
}

}  // namespace

std::size_t read_text_block(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops) {
  return texts != nullptr ? read_block<true, space_mask>(text, size, cells, texts, stops)
                          : read_block<false, space_mask>(text, size, cells, nullptr, stops);
}

std::size_t read_text_block_plain(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops) {
  return texts != nullptr ? read_block<true, space_mask_plain>(text, size, cells, texts, stops)
                          : read_block<false, space_mask_plain>(text, size, cells, nullptr, stops);
}

}  // namespace plotveil
