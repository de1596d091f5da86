// The words of a block of text, scanned into cells once their places are
// known: read_block finds where each word starts and where the white space
// after it begins, 64 bytes at a time, and hands the words of a few windows
// over at once, so a processor with wide registers can take several short
// numbers together. Places count from the text's first byte. Each processor
// kind's kernels (kernels/<kind>/word_scan.cpp) build their forms of
// read_text_block from these pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "grid/numbers/cell_text.hpp"
#include "grid/numbers/reading/decimal_number.hpp"
#include "grid/numbers/reading/number_scan.hpp"
#include "grid/numbers/reading/text_block.hpp"
#include "grid/numbers/reading/white_space.hpp"

namespace plotveil {

// A block being scanned: its text, ended by the blank at `limit` - 1; the
// cells so far, and their texts when kept. Cells from `converted` on hold
// short numbers not yet turned into values.
struct BlockScan {
  const char* text = nullptr;
  const char* limit = nullptr;
  double* cells = nullptr;
  CellText* texts = nullptr;
  std::size_t count = 0;
  std::size_t converted = 0;
};

// The short numbers stored from `converted` on become their values.
inline void convert_short_numbers(BlockScan& scan) {
  for (std::size_t i = scan.converted; i < scan.count; ++i) {
    ShortNumber number;
    std::memcpy(&number, scan.cells + i, sizeof number);
    scan.cells[i] = short_number_value(number);
  }
  scan.converted = scan.count;
}

// Reads one word that is neither a short number nor a plain decimal: false
// when it is not one whole number, ending at the white space after it.
template <bool kKeepText>
bool read_long_word(BlockScan& scan, const char* p);

// One word: a short number is stored as it stands, to be converted later;
// any other word is read by the general scanner. False when the word is not
// one number.
// How a kind reads a plain decimal word (scan_plain_decimal's contract).
using PlainDecimal = bool (*)(const char* p, const char* end, double& value);

template <bool kKeepText, PlainDecimal kPlainDecimal = scan_plain_decimal>
[[gnu::always_inline]] inline bool scan_word(BlockScan& scan, std::size_t start, std::size_t end) {
  const char* p = scan.text + start;
  ShortNumber number;
  if (scan_short_word<kKeepText>(p, end - start, number, kKeepText ? scan.texts + scan.count : nullptr)) {
    std::memcpy(scan.cells + scan.count, &number, sizeof number);
    ++scan.count;
    return true;
  }
  convert_short_numbers(scan);
  // The commonest long word, a plain decimal, here; any other in the general
  // reader.
  if (kPlainDecimal(p, scan.text + end, scan.cells[scan.count])) {
    if constexpr (kKeepText) scan.texts[scan.count] = 0;
    ++scan.count;
  } else if (!read_long_word<kKeepText>(scan, p)) {
    return false;
  }
  scan.converted = scan.count;
  return true;
}

// Scans the `n` words from starts[i] to ends[i] in order; false when a read
// fails (the cells before it stay). Word by word on any processor:
template <bool kKeepText>
bool scan_words_plain(BlockScan& scan, const std::size_t* starts, const std::size_t* ends, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (!scan_word<kKeepText>(scan, starts[i], ends[i])) return false;
  }
  return true;
}

// The same in groups of kGroup words, one per lane of a processor kind's
// registers: `kScanGroup` takes a group whose words are all short numbers,
// stores their values (converted at once) and returns true, else false with
// nothing stored; such a group, and the words after the last whole group, go
// word by word, each value converted at once too.
template <bool kKeepText, std::size_t kGroup, bool (*kScanGroup)(BlockScan&, const std::size_t*, const std::size_t*),
          PlainDecimal kPlainDecimal = scan_plain_decimal>
bool scan_words_grouped(BlockScan& scan, const std::size_t* starts, const std::size_t* ends, std::size_t n) {
  std::size_t i = 0;
  for (; i + kGroup <= n; i += kGroup) {
    if (kScanGroup(scan, starts + i, ends + i)) continue;
    for (std::size_t j = i; j < i + kGroup; ++j) {
      if (!scan_word<kKeepText, kPlainDecimal>(scan, starts[j], ends[j])) return false;
      convert_short_numbers(scan);
    }
  }
  for (; i < n; ++i) {
    if (!scan_word<kKeepText, kPlainDecimal>(scan, starts[i], ends[i])) return false;
    convert_short_numbers(scan);
  }
  return true;
}

// How a block's words are scanned once their places are known: word by word
// (scan_words_plain), or a kind's scan_words_grouped.
using ScanWords = bool (*)(BlockScan& scan, const std::size_t* starts, const std::size_t* ends, std::size_t n);

// The masks of the last 64 bytes read up to 63 bytes past the blank.
static_assert(kTextBlockReach >= 63 && kTextBlockReach >= kShortWordReach && kTextBlockReach >= kCellTextReach);

// The words found in this many windows at most are scanned together.
constexpr std::size_t kWindowsTogether = 8;

// The white space of the 64 bytes from `base`, the bytes from `size` on
// (the blank and what lies beyond) counted as white space.
template <std::uint64_t (*kSpaceMask)(const char*)>
inline std::uint64_t window_space(const char* text, std::size_t size, std::size_t base) {
  if (base >= size) return ~std::uint64_t{0};
  const std::uint64_t space = kSpaceMask(text + base);
  return size - base < 64 ? space | (~std::uint64_t{0} << (size - base)) : space;
}

// The words of the block, where they start and end, come from masks of white
// space found 64 bytes at a time, so finding the next word never waits for
// the number before it. Most words are one short number each; any other word
// is read number after number from its first byte, which gives the same cells.
template <std::uint64_t (*kSpaceMask)(const char*), ScanWords kScanWords>
inline std::size_t read_block(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops) {
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
    // The words' starts, then their ends in the same order. The last word of
    // a window that ends in a word goes on into the next window, where its
    // white space begins (a word of 63 bytes or more is long, and any length
    // beyond eight bytes reads the same).
    std::size_t ended = found;
    while (starts != 0) {
      starts_at[found++] = base + static_cast<unsigned>(__builtin_ctzll(starts));
      starts &= starts - 1;
    }
    while (ends != 0) {
      ends_at[ended++] = base + static_cast<unsigned>(__builtin_ctzll(ends));
      ends &= ends - 1;
    }
    if (ended < found) {
      ends_at[ended] = base + 64 + static_cast<unsigned>(__builtin_ctzll(next | (std::uint64_t{1} << 63)));
    }
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


}  // namespace plotveil
