// ARM64: two short numbers at a time in NEON registers; the tests are
// scan_short_word's, lane by lane, as on x86-64 with AVX2
// (kernels/x86_64/word_scan.cpp), in two lanes instead of four.
#include <arm_neon.h>

#include "grid/numbers/number_constants.hpp"
#include "grid/numbers/reading/word_scan.hpp"
#include "kernels/arm64/forms.hpp"

namespace plotveil {
namespace {

inline uint64x2_t lanes(std::uint64_t a, std::uint64_t b) { return vcombine_u64(vcreate_u64(a), vcreate_u64(b)); }
inline uint64x2_t all(std::uint64_t a) { return vdupq_n_u64(a); }
inline uint64x2_t is_not(uint64x2_t a) { return vreinterpretq_u64_u8(vmvnq_u8(vreinterpretq_u8_u64(a))); }
// Shifts right by `count` bits, each lane its own; 64 or more give 0.
inline uint64x2_t shift_right(uint64x2_t a, uint64x2_t count) {
  return vshlq_u64(a, vnegq_s64(vreinterpretq_s64_u64(count)));
}

template <bool kKeepText>
[[gnu::always_inline]] inline bool scan_two(BlockScan& scan, const std::size_t* starts, const std::size_t* ends) {
  const char* p[2] = {scan.text + starts[0], scan.text + starts[1]};
  std::uint64_t first[2];
  std::uint64_t second[2];
  for (int j = 0; j < 2; ++j) {
    std::memcpy(&first[j], p[j], 8);
    std::memcpy(&second[j], p[j] + 1, 8);
  }
  const uint64x2_t from_first = lanes(first[0], first[1]);
  const uint64x2_t from_second = lanes(second[0], second[1]);
  const uint64x2_t first_byte = vandq_u64(from_first, all(0xFF));
  const uint64x2_t negative = vceqq_u64(first_byte, all('-'));
  const uint64x2_t sign = vorrq_u64(negative, vceqq_u64(first_byte, all('+')));
  const uint64x2_t lows = vbslq_u64(sign, from_second, from_first);
  const uint64x2_t length = lanes(ends[0] - starts[0], ends[1] - starts[1]);
  const uint64x2_t bytes = vaddq_u64(length, sign);  // the bytes after the sign
  const uint64x2_t ones = all(~std::uint64_t{0});
  const uint64x2_t in_bytes = shift_right(ones, vsubq_u64(all(64), vshlq_n_u64(bytes, 3)));
  const uint64x2_t x = veorq_u64(lows, all(kZeroDigits));
  const uint64x2_t non_digits =
      vandq_u64(vorrq_u64(vaddq_u64(vandq_u64(x, all(kLowBits)), all(kDigitLimit)), x), all(kHighBits));
  const uint64x2_t others = vandq_u64(non_digits, in_bytes);
  const uint64x2_t no_point = vceqzq_u64(others);
  const uint64x2_t point = is_not(no_point);
  const uint64x2_t unit = vshrq_n_u64(others, 7);  // bit 0 of the point's byte
  const uint64x2_t below = vsubq_u64(unit, all(1));  // the bytes before the point; all without one
  const uint64x2_t point_byte = vsubq_u64(vshlq_n_u64(others, 1), unit);
  const uint64x2_t count = vaddq_u64(bytes, point);  // digits: one byte fewer with a point
  const uint64x2_t one_other = vceqzq_u64(vandq_u64(others, vsubq_u64(others, all(1))));
  const uint64x2_t is_point = vceqzq_u64(vandq_u64(veorq_u64(lows, all(every_byte('.'))), point_byte));
  const uint64x2_t fits = vandq_u64(vcgtq_u64(bytes, all(0)), vcltq_u64(bytes, all(9)));
  const uint64x2_t valid = vbicq_u64(vandq_u64(vandq_u64(one_other, is_point), fits), vceqzq_u64(count));
  if (vminvq_u32(vreinterpretq_u32_u64(valid)) != 0xFFFFFFFFu) return false;

  // The digits after the point move down one byte over it, then up to the
  // top of the lane; pairs, fours and eights of them are summed by their
  // weights.
  const uint64x2_t digits = vbslq_u64(below, lows, vshrq_n_u64(lows, 8));
  const uint64x2_t placed = vshlq_u64(vsubq_u64(digits, all(kZeroDigits)),
                                      vreinterpretq_s64_u64(vsubq_u64(all(64), vshlq_n_u64(count, 3))));
  const uint16x8_t pair_bytes = vreinterpretq_u16_u64(placed);
  const uint16x8_t pairs = vmlaq_n_u16(vshrq_n_u16(pair_bytes, 8), vandq_u16(pair_bytes, vdupq_n_u16(0xFF)), 10);
  const uint32x4_t pair_words = vreinterpretq_u32_u16(pairs);
  const uint32x4_t fours = vmlaq_n_u32(vshrq_n_u32(pair_words, 16), vandq_u32(pair_words, vdupq_n_u32(0xFFFF)), 100);
  const uint64x2_t m = vandq_u64(vreinterpretq_u64_u32(vmlaq_n_u32(vrev64q_u32(fours), fours, 10000)), all(0xFFFFFFFF));
  const uint64x2_t before_point =
      vpaddlq_u32(vpaddlq_u16(vpaddlq_u8(vreinterpretq_u8_u64(vandq_u64(below, all(every_byte(1)))))));
  const uint64x2_t fraction = vandq_u64(point, vsubq_u64(count, before_point));
  const std::uint64_t f0 = vgetq_lane_u64(fraction, 0);
  const std::uint64_t f1 = vgetq_lane_u64(fraction, 1);
  // Both operands of the division are exact, so its one rounding is correct.
  const float64x2_t two_to_52 = vdupq_n_f64(kTwoTo52);
  const float64x2_t whole_digits =
      vsubq_f64(vreinterpretq_f64_u64(vorrq_u64(m, vreinterpretq_u64_f64(two_to_52))), two_to_52);
  const float64x2_t value = vdivq_f64(
      whole_digits, vcombine_f64(vdup_n_f64(kExactPowersOfTen.p[f0]), vdup_n_f64(kExactPowersOfTen.p[f1])));
  const uint64x2_t sign_bits = vandq_u64(negative, all(std::uint64_t{1} << 63));
  vst1q_f64(scan.cells + scan.count, vreinterpretq_f64_u64(vorrq_u64(vreinterpretq_u64_f64(value), sign_bits)));

  if constexpr (kKeepText) {
    const uint64x2_t whole = vsubq_u64(count, fraction);
    const uint64x2_t zero_char = all('0');
    const uint64x2_t last = vandq_u64(shift_right(lows, vsubq_u64(vshlq_n_u64(bytes, 3), all(8))), all(0xFF));
    const uint64x2_t powers = lanes(kPowersOfTen64.p[f0], kPowersOfTen64.p[f1]);
    // Each test true (all ones) where the text is kept:
    const uint64x2_t short_text = vcltq_u64(length, all(9));
    const uint64x2_t no_plus = is_not(vbicq_u64(sign, negative));
    const uint64x2_t six_digits = vandq_u64(vcgtq_u64(m, all(0)), vcltq_u64(m, all(1000000)));
    const uint64x2_t has_whole = vcgtq_u64(whole, all(0));
    const uint64x2_t no_leading_zero =
        vorrq_u64(is_not(vceqq_u64(vandq_u64(lows, all(0xFF)), zero_char)),
                  vandq_u64(vceqq_u64(whole, all(1)), point));
    const uint64x2_t no_trailing_zero =
        vorrq_u64(no_point, vbicq_u64(vcgtq_u64(fraction, all(0)), vceqq_u64(last, zero_char)));
    const uint64x2_t not_tiny = is_not(vcgtq_u64(powers, vmull_n_u32(vmovn_u64(m), 10000)));
    const uint64x2_t kept =
        vandq_u64(vandq_u64(vandq_u64(short_text, no_plus), vandq_u64(six_digits, has_whole)),
                  vandq_u64(vandq_u64(no_leading_zero, no_trailing_zero), not_tiny));
    // The text from the word's first byte: a "-" before the digits.
    const uint64x2_t text = vbslq_u64(sign, vorrq_u64(vshlq_n_u64(lows, 8), all('-')), lows);
    const uint64x2_t in_length = shift_right(ones, vsubq_u64(all(64), vshlq_n_u64(length, 3)));
    vst1q_u64(scan.texts + scan.count, vandq_u64(kept, vandq_u64(text, in_length)));
  }
  scan.count += 2;
  scan.converted = scan.count;
  return true;
}

}  // namespace

std::size_t read_text_block_neon(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops) {
  return texts != nullptr
             ? read_block<space_mask_neon, scan_words_grouped<true, 2, scan_two<true>>>(text, size, cells, texts, stops)
             : read_block<space_mask_neon, scan_words_grouped<false, 2, scan_two<false>>>(text, size, cells, nullptr,
                                                                                         stops);
}

}  // namespace plotveil
