// ARM64: white space found in NEON registers.
#include <arm_neon.h>

#include "kernels/arm64/forms.hpp"

namespace plotveil {

std::uint64_t space_mask_neon(const char* bytes) {
  const uint8x16_t blank = vdupq_n_u8(' ');
  const uint8x16_t tab = vdupq_n_u8('\t');
  const uint8x16_t four = vdupq_n_u8(4);
  // Each byte's own bit, to be summed into one byte per 8 bytes.
  static const std::uint8_t kBits[16] = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
  const uint8x16_t bits = vld1q_u8(kBits);
  uint8x16_t parts[4];
  for (int k = 0; k < 4; ++k) {
    const uint8x16_t x = vld1q_u8(reinterpret_cast<const std::uint8_t*>(bytes + 16 * k));
    // TAB to CR are the bytes whose distance from TAB is at most 4.
    const uint8x16_t control = vcleq_u8(vsubq_u8(x, tab), four);
    const uint8x16_t space = vorrq_u8(vceqq_u8(x, blank), control);
    parts[k] = vandq_u8(space, bits);
  }
  // Three rounds of pairwise sums leave byte j holding the bits of bytes 8j to 8j + 7.
  uint8x16_t sum = vpaddq_u8(vpaddq_u8(parts[0], parts[1]), vpaddq_u8(parts[2], parts[3]));
  sum = vpaddq_u8(sum, sum);
  return vgetq_lane_u64(vreinterpretq_u64_u8(sum), 0);
}

}  // namespace plotveil
