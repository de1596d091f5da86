// ARM64: two values at a time in NEON registers, by format_number's quick
// path for six digits and its fixed form, step by step, as on x86-64 with AVX2
// (kernels/x86_64/fixed_texts.cpp); any lane that path would leave to its
// exact one stays 0.
#include <arm_neon.h>

#include "grid/numbers/number_constants.hpp"
#include "kernels/arm64/forms.hpp"

namespace plotveil {
namespace {

inline uint64x2_t all(std::uint64_t a) { return vdupq_n_u64(a); }
inline uint64x2_t is_not(uint64x2_t a) { return vreinterpretq_u64_u8(vmvnq_u8(vreinterpretq_u8_u64(a))); }
// Shifts left by `count` bits, each lane its own (a negative count: right);
// 64 or more either way give 0.
inline uint64x2_t shift(uint64x2_t a, int64x2_t count) { return vshlq_u64(a, count); }
inline int64x2_t bits_of(uint64x2_t bytes) { return vreinterpretq_s64_u64(vshlq_n_u64(bytes, 3)); }
// The low `bytes` bytes of a lane set.
inline uint64x2_t low_bytes(uint64x2_t bytes) {
  return shift(all(~std::uint64_t{0}), vsubq_s64(bits_of(bytes), vdupq_n_s64(64)));
}
inline float64x2_t powers(uint64x2_t k) {
  return vcombine_f64(vdup_n_f64(kExactPowersOfTen.p[vgetq_lane_u64(k, 0) & 7]),
                      vdup_n_f64(kExactPowersOfTen.p[vgetq_lane_u64(k, 1) & 7]));
}

}  // namespace

void fill_fixed_texts_neon(const double* values, CellText* texts, std::size_t n) {
  const float64x2_t million = vdupq_n_f64(1e6);
  for (std::size_t i = 0; i + 2 <= n; i += 2) {
    const uint64x2_t old = vld1q_u64(texts + i);
    const uint64x2_t wanted = vceqzq_u64(old);
    if (vmaxvq_u32(vreinterpretq_u32_u64(wanted)) == 0) continue;
    const float64x2_t value = vld1q_f64(values + i);
    const uint64x2_t negative = vcltzq_s64(vreinterpretq_s64_f64(value));
    const float64x2_t magnitude = vabsq_f64(value);
    // From 1 up to below 10^6; false for NaN.
    uint64x2_t ok = vandq_u64(wanted, vandq_u64(vcgeq_f64(magnitude, vdupq_n_f64(1.0)), vcltq_f64(magnitude, million)));
    // The decimal exponent or one below, from the binary one (0 to 19 here).
    const uint64x2_t binary = vsubq_u64(vshrq_n_u64(vreinterpretq_u64_f64(magnitude), 52), all(1023));
    uint64x2_t x10 = vshrq_n_u64(vmull_n_u32(vmovn_u64(binary), kLog10TwoTimes2To18), kLog10TwoShift);
    const uint64x2_t s = vandq_u64(vsubq_u64(all(5), x10), all(7));
    // y = value x 10^(5 - x10), rounded once; one power less where that
    // reaches 10^6 (and 10^-1 is not taken: such values are 10^6 and up).
    float64x2_t y = vmulq_f64(magnitude, powers(s));
    const uint64x2_t big = vcgeq_f64(y, million);
    y = vbslq_f64(big, vmulq_f64(magnitude, powers(vsubq_u64(s, all(1)))), y);
    x10 = vsubq_u64(x10, big);
    ok = vbicq_u64(ok, vandq_u64(big, vceqzq_u64(s)));
    ok = vandq_u64(ok, vandq_u64(vcgeq_f64(y, vdupq_n_f64(1e5)), vcltq_f64(y, million)));
    // The whole part, and the fraction (exact); near the half, the exact path decides.
    const uint64x2_t whole_part = vcvtq_u64_f64(y);
    const float64x2_t fraction = vsubq_f64(y, vcvtq_f64_u64(whole_part));
    const float64x2_t off_half = vabsq_f64(vsubq_f64(fraction, vdupq_n_f64(0.5)));
    ok = vbicq_u64(ok, vcltq_f64(off_half, vdupq_n_f64(kRoundingMargin)));
    uint64x2_t six = vsubq_u64(whole_part, vcgtq_f64(fraction, vdupq_n_f64(0.5)));
    const uint64x2_t carried = vceqq_u64(six, all(1000000));
    six = vbslq_u64(carried, all(100000), six);
    x10 = vsubq_u64(x10, carried);
    ok = vandq_u64(ok, vcltq_u64(x10, all(6)));  // 10^6 is "1e+06"
    if (vmaxvq_u32(vreinterpretq_u32_u64(ok)) == 0) continue;

    // The six digits: three pairs in 16-bit lanes, each split into tens and ones.
    const uint64x2_t first = vshrq_n_u64(vmull_n_u32(vmovn_u64(six), kDivideBy10000.multiplier), kDivideBy10000.shift);
    const uint64x2_t rest = vsubq_u64(six, vmull_n_u32(vmovn_u64(first), 10000));
    const uint64x2_t second = vshrq_n_u64(vmull_n_u32(vmovn_u64(rest), kDivideBy100.multiplier), kDivideBy100.shift);
    const uint64x2_t third = vsubq_u64(rest, vmull_n_u32(vmovn_u64(second), 100));
    const uint16x8_t pairs =
        vreinterpretq_u16_u64(vorrq_u64(first, vorrq_u64(vshlq_n_u64(second, 16), vshlq_n_u64(third, 32))));
    const uint16x8_t tens = vshrq_n_u16(vmulq_n_u16(pairs, kDivideBy10.multiplier), kDivideBy10.shift);
    const uint16x8_t ones = vsubq_u16(pairs, vmulq_n_u16(tens, 10));
    const uint64x2_t digit_values = vreinterpretq_u64_u16(vorrq_u16(tens, vshlq_n_u16(ones, 8)));
    const uint64x2_t digits = vaddq_u64(digit_values, all(kZeroDigits >> 16));
    // The significant digits end at the last that is not 0: every byte up
    // to it marked, then counted.
    uint64x2_t marked = vandq_u64(vaddq_u64(digit_values, all(kLowBits)), all(kHighBits));
    marked = vorrq_u64(marked, vshrq_n_u64(marked, 8));
    marked = vorrq_u64(marked, vshrq_n_u64(marked, 16));
    marked = vorrq_u64(marked, vshrq_n_u64(marked, 32));
    const uint64x2_t count = vpaddlq_u32(vpaddlq_u16(vpaddlq_u8(vreinterpretq_u8_u64(vshrq_n_u64(marked, 7)))));
    // The fixed form: the x10 + 1 whole digits, then a point and the rest
    // where any is significant.
    const uint64x2_t whole = vaddq_u64(x10, all(1));
    const int64x2_t whole_bits = bits_of(whole);
    const uint64x2_t with_point =
        vorrq_u64(vorrq_u64(vandq_u64(digits, low_bytes(whole)), shift(all('.'), whole_bits)),
                  shift(shift(digits, vnegq_s64(whole_bits)), vaddq_s64(whole_bits, vdupq_n_s64(8))));
    const uint64x2_t length = vbslq_u64(vcgtq_u64(count, whole), vaddq_u64(count, all(1)), whole);
    const uint64x2_t unsigned_text = vandq_u64(with_point, low_bytes(length));
    const uint64x2_t text = vbslq_u64(negative, vorrq_u64(vshlq_n_u64(unsigned_text, 8), all('-')), unsigned_text);
    vst1q_u64(texts + i, vbslq_u64(ok, text, old));
  }
}

}  // namespace plotveil
