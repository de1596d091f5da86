#include "grid/numbers/text_numbers.hpp"

#include <cstring>

#include "grid/numbers/number_scan.hpp"
#include "grid/numbers/space_mask.hpp"
#include "grid/numbers/word_scan.hpp"

namespace plotveil {
namespace {

// The masks of the last 64 bytes read up to 63 bytes past the blank.
static_assert(kTextBlockReach >= 63 && kTextBlockReach >= kShortWordReach && kTextBlockReach >= kCellTextReach);

// The words found in this many windows at most are scanned together.
constexpr std::size_t kWindowsTogether = 8;

// The white space of the 64 bytes from `base`, the bytes from `size` on
// (the blank and what lies beyond) counted as white space.
template <std::uint64_t (*kSpaceMask)(const char*)>
std::uint64_t window_space(const char* text, std::size_t size, std::size_t base) {
  if (base >= size) return ~std::uint64_t{0};
  const std::uint64_t space = kSpaceMask(text + base);
  return size - base < 64 ? space | (~std::uint64_t{0} << (size - base)) : space;
}

// The words of the block, where they start and end, come from masks of white
// space found 64 bytes at a time, so finding the next word never waits for
// the number before it. Most words are one short number each; any other word is
// read number after number from its first byte, which gives the same cells.
template <std::uint64_t (*kSpaceMask)(const char*), ScanWords kScanWords>
std::size_t read_block(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops) {
  BlockScan scan;
  scan.text = text;
  scan.limit = text + size + 1;  // the blank after the bytes ends every number before it
  scan.cells = cells;
  scan.texts = texts;
  stops = false;
  std::size_t starts_at[32 * kWindowsTogether];
  std::size_t ends_at[32 * kWindowsTogether];
  std::size_t found = 0;
  std::uint64_t space_before = 1;  // the byte before the window is white space
  std::uint64_t next = window_space<kSpaceMask>(text, size, 0);
  for (std::size_t base = 0; base < size; base += 64) {
    const std::uint64_t space = next;
    next = window_space<kSpaceMask>(text, size, base + 64);
    std::uint64_t starts = ~space & ((space << 1) | space_before);
    // Where the white space after a word begins; not for a word that goes
    // on from the window before, whose end was found there.
    std::uint64_t ends = space & ~(space << 1) & ~std::uint64_t{1};
    if (((space_before | space) & 1) == 0) ends &= ends - 1;
    // A word and its end are taken together; the last word of a window that
    // ends in a word goes on into the next window, where its white space
    // begins (a word of 63 bytes or more is long, and any length beyond
    // eight bytes reads the same).
    std::size_t ended = found;
    while (starts != 0) {
      starts_at[found++] = base + static_cast<unsigned>(__builtin_ctzll(starts));
      starts &= starts - 1;
    }
    while (ends != 0) {
      ends_at[ended++] = base + static_cast<unsigned>(__builtin_ctzll(ends));
      ends &= ends - 1;
    }
    if (ended < found) ends_at[ended] = base + 64 + static_cast<unsigned>(__builtin_ctzll(next | (std::uint64_t{1} << 63)));
    space_before = space >> 63;
    if (found > 32 * (kWindowsTogether - 1) || base + 64 >= size) {
      if (!kScanWords(scan, starts_at, ends_at, found)) {
        stops = true;
        return scan.count;
      }
      found = 0;
    }
  }
  convert_short_numbers(scan);
  return scan.count;
}

}  // namespace

template <bool kKeepText>
bool read_long_word(BlockScan& scan, const char* p) {
  for (;;) {
    if constexpr (kKeepText) scan.texts[scan.count] = 0;
    if (const char* stop = scan_plain_number(p, scan.limit, scan.cells[scan.count])) {
      p = stop;
    } else {
      NumberScanner scanner;
      p = scanner.feed(p, scan.limit);
      if (!scanner.succeeded()) return false;
      scan.cells[scan.count] = scanner.value();
    }
    ++scan.count;
    if (is_text_space(*p)) return true;
  }
}
template bool read_long_word<false>(BlockScan&, const char*);
template bool read_long_word<true>(BlockScan&, const char*);

std::size_t read_text_block(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops) {
  return texts != nullptr ? read_block<space_mask, scan_words_keeping_texts>(text, size, cells, texts, stops)
                          : read_block<space_mask, scan_words>(text, size, cells, nullptr, stops);
}

std::size_t read_text_block_plain(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops) {
  return texts != nullptr ? read_block<space_mask_plain, scan_words_plain<true>>(text, size, cells, texts, stops)
                          : read_block<space_mask_plain, scan_words_plain<false>>(text, size, cells, nullptr, stops);
}

}  // namespace plotveil
