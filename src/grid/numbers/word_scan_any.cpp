// Processors without a wider way here, and builds with PLOTVEIL_PLAIN_SCAN:
// word by word.
#include "grid/numbers/space_mask.hpp"
#include "grid/numbers/word_scan.hpp"

namespace plotveil {

std::size_t read_text_block(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops) {
  return texts != nullptr ? read_block<space_mask, scan_words_plain<true>>(text, size, cells, texts, stops)
                          : read_block<space_mask, scan_words_plain<false>>(text, size, cells, nullptr, stops);
}

}  // namespace plotveil
