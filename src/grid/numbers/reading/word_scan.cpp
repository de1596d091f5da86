// The part of the word scanner every processor kind shares out of line: the
// words that are not short numbers, read by the general scanner.
#include "grid/numbers/reading/word_scan.hpp"

#include "grid/numbers/reading/decimal_number.hpp"
#include "grid/numbers/reading/number_scan.hpp"
#include "grid/numbers/reading/white_space.hpp"

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

}  // namespace plotveil
