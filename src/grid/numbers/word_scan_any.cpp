// Processors without a wider way here, and builds with PLOTVEIL_PLAIN_SCAN:
// word by word.
#include "grid/numbers/word_scan.hpp"

namespace plotveil {

bool scan_words(BlockScan& scan, const std::size_t* starts, const std::size_t* ends, std::size_t n) {
  return scan_words_plain<false>(scan, starts, ends, n);
}

bool scan_words_keeping_texts(BlockScan& scan, const std::size_t* starts, const std::size_t* ends, std::size_t n) {
  return scan_words_plain<true>(scan, starts, ends, n);
}

}  // namespace plotveil
