// Processors without a wider way here, and builds with PLOTVEIL_PLAIN_SCAN:
// format_number writes every value.
#include "grid/numbers/fixed_texts.hpp"

namespace plotveil {

void fill_fixed_texts(const double*, CellText*, std::size_t) {}

}  // namespace plotveil
