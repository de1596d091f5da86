// Processors without a vector form here, and builds with PLOTVEIL_PLAIN_SCAN.
#include "grid/numbers/space_mask.hpp"

namespace plotveil {

std::uint64_t space_mask(const char* bytes) { return space_mask_plain(bytes); }

}  // namespace plotveil
