#include "grid/numbers/text_numbers.hpp"

#include "grid/numbers/number_scan.hpp"

namespace plotveil {
namespace {

template <bool kKeepText>
std::size_t read_block(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops) {
  const char* p = text;
  const char* end = text + size;
  const char* limit = end + 1;  // the blank after the bytes ends every number before it
  std::size_t count = 0;
  stops = false;
  for (;;) {
    while (p < end && is_text_space(*p)) ++p;
    if (p == end) return count;
    if (const char* stop = scan_plain_number<kKeepText>(p, limit, cells[count], texts + count)) {
      p = stop;
      ++count;
      continue;
    }
    NumberScanner scanner;
    p = scanner.feed(p, limit);
    if (!scanner.succeeded()) {
      stops = true;
      return count;
    }
    if constexpr (kKeepText) texts[count] = 0;
    cells[count++] = scanner.value();
  }
}

}  // namespace

std::size_t read_text_block(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops) {
  return texts != nullptr ? read_block<true>(text, size, cells, texts, stops)
                          : read_block<false>(text, size, cells, nullptr, stops);
}

}  // namespace plotveil
