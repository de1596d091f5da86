// The plain forms, on any processor: white space found in 64-bit arithmetic.
// Built into every build, as the reference the other kinds' forms are tested
// against.
#include <cstring>

#include "grid/numbers/reading/white_space.hpp"

namespace plotveil {

std::uint64_t space_mask_portable(const char* bytes) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
  constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
  std::uint64_t mask = 0;
  for (int k = 0; k < 8; ++k) {
    std::uint64_t w;
    std::memcpy(&w, bytes + 8 * k, sizeof w);
    // Per byte, exactly: no sum below carries out of its byte.
    const std::uint64_t blank = w ^ 0x2020202020202020ULL;
    const std::uint64_t is_blank = ~(((blank & kLow7) + kLow7) | blank) & kHigh;
    const std::uint64_t low = w & kLow7;
    const std::uint64_t from_tab = low + 0x7777777777777777ULL;      // high bit: byte >= 9
    const std::uint64_t beyond_cr = low + 0x7272727272727272ULL;     // high bit: byte >= 14
    const std::uint64_t is_control = from_tab & ~beyond_cr & ~w & kHigh;
    // The eight high bits, gathered into one byte by a multiplication.
    const std::uint64_t flags = (is_blank | is_control) >> 7;
    mask |= ((flags * 0x0102040810204080ULL) >> 56) << (8 * k);
  }
  return mask;
}

}  // namespace plotveil
