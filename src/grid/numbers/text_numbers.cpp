#include "grid/numbers/text_numbers.hpp"

#include "grid/numbers/number_scan.hpp"
#include "grid/numbers/space_mask.hpp"

namespace plotveil {
namespace {

static_assert(kTextBlockReach >= kShortNumberReach && kTextBlockReach >= kCellTextReach);
// The masks of the last 64 bytes read past the blank.
static_assert(kTextBlockReach >= 63);

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

// The words of the block begin where white space ends, found 64 bytes at a
// time in a mask, so finding the next number never waits for the one before
// it. Most words are one short number each; any other word is read number
// after number from its first byte, which gives the same cells.
template <bool kKeepText, std::uint64_t (*kSpaceMask)(const char*)>
std::size_t read_block(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops) {
  const char* limit = text + size + 1;  // the blank after the bytes ends every number before it
  std::size_t count = 0;
  stops = false;
  std::uint64_t space_before = 1;  // the byte before the window is white space
  for (std::size_t base = 0; base < size; base += 64) {
    std::uint64_t space = kSpaceMask(text + base);
    if (size - base < 64) space |= ~std::uint64_t{0} << (size - base);  // the blank and beyond
    std::uint64_t starts = ~space & ((space << 1) | space_before);
    space_before = space >> 63;
    while (starts != 0) {
      const char* p = text + base + __builtin_ctzll(starts);
      starts &= starts - 1;
      const char* stop = scan_short_number<kKeepText>(p, limit, cells[count], texts + count);
      if (stop != nullptr && is_text_space(*stop)) {
        ++count;
        continue;
      }
      if (read_word<kKeepText>(p, limit, cells, texts, count) == nullptr) {
        stops = true;
        return count;
      }
    }
  }
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
