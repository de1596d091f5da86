// The plain forms, on any processor: a block's words read one at a time, its
// white space found in 64-bit arithmetic. Built into every build, as the
// reference the other kinds' forms are tested against.
#include "grid/numbers/reading/white_space.hpp"
#include "grid/numbers/reading/word_scan.hpp"

namespace plotveil {

std::size_t read_text_block_portable(const char* text, std::size_t size, double* cells, CellText* texts,
                                     bool& stops) {
  return texts != nullptr ? read_block<space_mask_portable, scan_words_plain<true>>(text, size, cells, texts, stops)
                          : read_block<space_mask_portable, scan_words_plain<false>>(text, size, cells, nullptr, stops);
}

}  // namespace plotveil
