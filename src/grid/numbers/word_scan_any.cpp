// Processors without a wider way here, and builds with PLOTVEIL_PLAIN_SCAN:
// word by word.
#include "grid/numbers/word_scan.hpp"

namespace plotveil {

bool scan_words(BlockScan& scan, const WordPlace* words, std::size_t n) {
  return scan_words_plain<false>(scan, words, n);
}

bool scan_words_keeping_texts(BlockScan& scan, const WordPlace* words, std::size_t n) {
  return scan_words_plain<true>(scan, words, n);
}

}  // namespace plotveil
