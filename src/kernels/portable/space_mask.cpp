// The plain forms, on any processor: white space found in 64-bit arithmetic.
// Built into every build, as the reference the other kinds' forms are tested
// against.
#include <cstring>

#include "grid/numbers/number_constants.hpp"
#include "grid/numbers/reading/white_space.hpp"

namespace plotveil {

std::uint64_t space_mask_portable(const char* bytes) {
  std::uint64_t mask = 0;
  for (int k = 0; k < 8; ++k) {
    std::uint64_t w;
    std::memcpy(&w, bytes + 8 * k, sizeof w);
    // Per byte, exactly: no sum below carries out of its byte.
    const std::uint64_t blank = w ^ every_byte(' ');
    const std::uint64_t is_blank = ~(((blank & kLowBits) + kLowBits) | blank) & kHighBits;
    const std::uint64_t low = w & kLowBits;
    const std::uint64_t from_tab = low + every_byte(0x77);   // high bit: byte >= 9
    const std::uint64_t beyond_cr = low + every_byte(0x72);  // high bit: byte >= 14
    const std::uint64_t is_control = from_tab & ~beyond_cr & ~w & kHighBits;
    // The eight high bits, gathered into one byte by a multiplication.
    const std::uint64_t flags = (is_blank | is_control) >> 7;
    mask |= ((flags * 0x0102040810204080ULL) >> 56) << (8 * k);
  }
  return mask;
}

}  // namespace plotveil
