#include "grid/numbers/cell_text.hpp"

#include "grid/numbers/number_format.hpp"

namespace plotveil {

CellText cell_text_of(double value) {
  char text[kMaxNumberText];
  const char* end = format_number(value, text);
  const std::size_t length = static_cast<std::size_t>(end - text);
  return length <= kCellTextReach ? pack_cell_text(text, length) : 0;
}

}  // namespace plotveil
