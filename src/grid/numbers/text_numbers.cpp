#include "grid/numbers/text_numbers.hpp"

#include <cstring>

#include "grid/numbers/decimal_number.hpp"
#include "grid/numbers/number_scan.hpp"
#include "grid/numbers/space_mask.hpp"
#include "grid/numbers/word_scan.hpp"

namespace plotveil {

// One word that is not a short number: a cell only when its number runs to
// the white space after it. A word with more after its number ("1.2.3",
// "1-2", "7ex") is a damaged cell, and reading stops before it.
template <bool kKeepText>
bool read_long_word(BlockScan& scan, const char* p) {
  double& cell = scan.cells[scan.count];
  if (const char* stop = scan_decimal(p, scan.limit, cell)) {
    p = stop;
  } else {
    NumberScanner scanner;
    p = scanner.feed(p, scan.limit);
    if (!scanner.succeeded()) return false;
    cell = scanner.value();
  }
  if (!is_text_space(*p)) return false;
  if constexpr (kKeepText) scan.texts[scan.count] = 0;
  ++scan.count;
  return true;
}
template bool read_long_word<false>(BlockScan&, const char*);
template bool read_long_word<true>(BlockScan&, const char*);

std::size_t read_text_block_plain(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops) {
  return texts != nullptr ? read_block<space_mask_plain, scan_words_plain<true>>(text, size, cells, texts, stops)
                          : read_block<space_mask_plain, scan_words_plain<false>>(text, size, cells, nullptr, stops);
}

}  // namespace plotveil
