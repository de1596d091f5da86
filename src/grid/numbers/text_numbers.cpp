#include "grid/numbers/text_numbers.hpp"

#include "grid/numbers/number_scan.hpp"

namespace plotveil {

std::size_t read_text_block(const char* text, std::size_t size, double* cells, bool& stops) {
  const char* p = text;
  const char* end = text + size;
  const char* limit = end + 1;  // the blank after the bytes ends every number before it
  std::size_t count = 0;
  stops = false;
  for (;;) {
    while (p < end && is_text_space(*p)) ++p;
    if (p == end) return count;
    if (const char* stop = scan_plain_number(p, limit, cells[count])) {
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
    cells[count++] = scanner.value();
  }
}

}  // namespace plotveil
