// The words of a block of text, scanned into cells once their places are
// known: read_text_block finds where each word starts and where the white
// space after it begins, 64 bytes at a time, and hands the words of a few
// windows over at once, so a processor with wide registers can take several
// short numbers together. Places count from the text's first byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "grid/numbers/cell_text.hpp"
#include "grid/numbers/number_scan.hpp"
#include "grid/numbers/text_numbers.hpp"

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

// Reads one word that is not a short number, number after number from its
// first byte, as reading the stream does: false when a read fails.
template <bool kKeepText>
bool read_long_word(BlockScan& scan, const char* p);

// One word: a short number is stored as it stands, to be converted later;
// any other word is read number after number. False when a read fails.
template <bool kKeepText>
[[gnu::always_inline]] inline bool scan_word(BlockScan& scan, std::size_t start, std::size_t end) {
  const char* p = scan.text + start;
  ShortNumber number;
  if (scan_short_word<kKeepText>(p, end - start, number, kKeepText ? scan.texts + scan.count : nullptr)) {
    std::memcpy(scan.cells + scan.count, &number, sizeof number);
    ++scan.count;
    return true;
  }
  convert_short_numbers(scan);
  if (!read_long_word<kKeepText>(scan, p)) return false;
  scan.converted = scan.count;
  return true;
}

// Scans the `n` words from starts[i] to ends[i] in order; false when a read fails (the cells before it
// stay). Word by word on any processor:
template <bool kKeepText>
bool scan_words_plain(BlockScan& scan, const std::size_t* starts, const std::size_t* ends, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (!scan_word<kKeepText>(scan, starts[i], ends[i])) return false;
  }
  return true;
}

// and with the widest way this processor has (word_scan_*.cpp).
using ScanWords = bool (*)(BlockScan& scan, const std::size_t* starts, const std::size_t* ends, std::size_t n);
bool scan_words(BlockScan& scan, const std::size_t* starts, const std::size_t* ends, std::size_t n);
bool scan_words_keeping_texts(BlockScan& scan, const std::size_t* starts, const std::size_t* ends, std::size_t n);

}  // namespace plotveil
