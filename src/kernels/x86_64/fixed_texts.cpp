// x86-64 with AVX2: four values at a time, one per 64-bit lane, by
// format_number's quick path for six digits and its fixed form, step by step;
// any lane that path would leave to its exact one stays 0.
#include <immintrin.h>

#include "grid/numbers/number_constants.hpp"
#include "kernels/x86_64/forms.hpp"

namespace plotveil {
namespace {

// 10^k for k in the low 32 bits of each lane (k from 0 to 7), as doubles:
// the integer placed in the mantissa of 2^52, less 2^52.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256d power_of_ten(__m256i k) {
  const __m256i powers = _mm256_and_si256(
      _mm256_permutevar8x32_epi32(_mm256_setr_epi32(1, 10, 100, 1000, 10000, 100000, 1000000, 10000000), k),
      _mm256_set1_epi64x(0xFFFFFFFF));
  const __m256d two_to_52 = _mm256_set1_pd(kTwoTo52);
  return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(powers, _mm256_castpd_si256(two_to_52))), two_to_52);
}

// The low `bytes` bytes of each 64-bit lane set.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i low_bytes(__m256i bytes) {
  return _mm256_srlv_epi64(_mm256_set1_epi64x(-1),
                           _mm256_sub_epi64(_mm256_set1_epi64x(64), _mm256_slli_epi64(bytes, 3)));
}

[[gnu::target("avx2")]] void fill_four_at_a_time(const double* values, CellText* texts, std::size_t n) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i one = _mm256_set1_epi64x(1);
  const __m256d sign_bit = _mm256_set1_pd(-0.0);
  const __m256d million = _mm256_set1_pd(1e6);
  for (std::size_t i = 0; i + 4 <= n; i += 4) {
    const __m256i old = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(texts + i));
    const __m256i wanted = _mm256_cmpeq_epi64(old, zero);
    if (_mm256_testz_si256(wanted, wanted)) continue;
    const __m256d value = _mm256_loadu_pd(values + i);
    const __m256i negative = _mm256_cmpgt_epi64(zero, _mm256_castpd_si256(value));
    const __m256d magnitude = _mm256_andnot_pd(sign_bit, value);
    // From 1 up to below 10^6; false for NaN.
    __m256i ok = _mm256_castpd_si256(_mm256_and_pd(_mm256_cmp_pd(magnitude, _mm256_set1_pd(1.0), _CMP_GE_OQ),
                                                   _mm256_cmp_pd(magnitude, million, _CMP_LT_OQ)));
    ok = _mm256_and_si256(ok, wanted);
    // The decimal exponent or one below, from the binary one (0 to 19 here).
    const __m256i binary =
        _mm256_sub_epi64(_mm256_srli_epi64(_mm256_castpd_si256(magnitude), 52), _mm256_set1_epi64x(1023));
    __m256i x10 = _mm256_srli_epi64(_mm256_mul_epu32(binary, _mm256_set1_epi64x(kLog10TwoTimes2To18)), kLog10TwoShift);
    const __m256i s = _mm256_and_si256(_mm256_sub_epi64(_mm256_set1_epi64x(5), x10), _mm256_set1_epi64x(7));
    // y = value x 10^(5 - x10), rounded once; one power less where that
    // reaches 10^6 (and 10^-1 is not taken: such values are 10^6 and up).
    __m256d y = _mm256_mul_pd(magnitude, power_of_ten(s));
    const __m256d big = _mm256_cmp_pd(y, million, _CMP_GE_OQ);
    y = _mm256_blendv_pd(y, _mm256_mul_pd(magnitude, power_of_ten(_mm256_sub_epi64(s, one))), big);
    x10 = _mm256_sub_epi64(x10, _mm256_castpd_si256(big));
    ok = _mm256_andnot_si256(_mm256_and_si256(_mm256_castpd_si256(big), _mm256_cmpeq_epi64(s, zero)), ok);
    ok = _mm256_and_si256(ok, _mm256_castpd_si256(_mm256_and_pd(_mm256_cmp_pd(y, _mm256_set1_pd(1e5), _CMP_GE_OQ),
                                                                 _mm256_cmp_pd(y, million, _CMP_LT_OQ))));
    // The whole part, and the fraction (exact); near the half, the exact path decides.
    const __m128i whole32 = _mm256_cvttpd_epi32(_mm256_blendv_pd(_mm256_set1_pd(1e5), y, _mm256_castsi256_pd(ok)));
    const __m256d fraction = _mm256_sub_pd(y, _mm256_cvtepi32_pd(whole32));
    const __m256d off_half = _mm256_andnot_pd(sign_bit, _mm256_sub_pd(fraction, _mm256_set1_pd(0.5)));
    const __m256d near_half = _mm256_cmp_pd(off_half, _mm256_set1_pd(kRoundingMargin), _CMP_LT_OQ);
    ok = _mm256_andnot_si256(_mm256_castpd_si256(near_half), ok);
    __m256i six = _mm256_sub_epi64(_mm256_cvtepi32_epi64(whole32),
                                   _mm256_castpd_si256(_mm256_cmp_pd(fraction, _mm256_set1_pd(0.5), _CMP_GT_OQ)));
    const __m256i carried = _mm256_cmpeq_epi64(six, _mm256_set1_epi64x(1000000));
    six = _mm256_blendv_epi8(six, _mm256_set1_epi64x(100000), carried);
    x10 = _mm256_sub_epi64(x10, carried);
    ok = _mm256_and_si256(ok, _mm256_cmpgt_epi64(_mm256_set1_epi64x(6), x10));  // 10^6 is "1e+06"
    if (_mm256_testz_si256(ok, ok)) continue;

    // The six digits: three pairs in 16-bit lanes, each split into tens and ones.
    const __m256i first =
        _mm256_srli_epi64(_mm256_mul_epu32(six, _mm256_set1_epi64x(kDivideBy10000.multiplier)), kDivideBy10000.shift);
    const __m256i rest = _mm256_sub_epi64(six, _mm256_mul_epu32(first, _mm256_set1_epi64x(10000)));
    const __m256i second =
        _mm256_srli_epi64(_mm256_mul_epu32(rest, _mm256_set1_epi64x(kDivideBy100.multiplier)), kDivideBy100.shift);
    const __m256i third = _mm256_sub_epi64(rest, _mm256_mul_epu32(second, _mm256_set1_epi64x(100)));
    const __m256i pairs =
        _mm256_or_si256(first, _mm256_or_si256(_mm256_slli_epi64(second, 16), _mm256_slli_epi64(third, 32)));
    const __m256i tens = _mm256_srli_epi16(_mm256_mullo_epi16(pairs, _mm256_set1_epi16(kDivideBy10.multiplier)),
                                           kDivideBy10.shift);
    const __m256i ones = _mm256_sub_epi16(pairs, _mm256_mullo_epi16(tens, _mm256_set1_epi16(10)));
    const __m256i digit_values = _mm256_or_si256(tens, _mm256_slli_epi16(ones, 8));
    const __m256i digits = _mm256_add_epi64(digit_values, _mm256_set1_epi64x(kZeroDigits >> 16));
    // The significant digits end at the last that is not 0: every byte up
    // to it marked, then counted.
    __m256i marked = _mm256_and_si256(_mm256_add_epi64(digit_values, _mm256_set1_epi64x(kLowBits)),
                                      _mm256_set1_epi64x(static_cast<long long>(kHighBits)));
    marked = _mm256_or_si256(marked, _mm256_srli_epi64(marked, 8));
    marked = _mm256_or_si256(marked, _mm256_srli_epi64(marked, 16));
    marked = _mm256_or_si256(marked, _mm256_srli_epi64(marked, 32));
    const __m256i count = _mm256_sad_epu8(_mm256_srli_epi64(marked, 7), zero);
    // The fixed form: the x10 + 1 whole digits, then a point and the rest
    // where any is significant.
    const __m256i whole = _mm256_add_epi64(x10, one);
    const __m256i whole_bits = _mm256_slli_epi64(whole, 3);
    const __m256i with_point = _mm256_or_si256(
        _mm256_or_si256(_mm256_and_si256(digits, low_bytes(whole)),
                        _mm256_sllv_epi64(_mm256_set1_epi64x('.'), whole_bits)),
        _mm256_sllv_epi64(_mm256_srlv_epi64(digits, whole_bits), _mm256_add_epi64(whole_bits, _mm256_set1_epi64x(8))));
    const __m256i length = _mm256_blendv_epi8(whole, _mm256_add_epi64(count, one), _mm256_cmpgt_epi64(count, whole));
    const __m256i unsigned_text = _mm256_and_si256(with_point, low_bytes(length));
    const __m256i text = _mm256_blendv_epi8(
        unsigned_text, _mm256_or_si256(_mm256_slli_epi64(unsigned_text, 8), _mm256_set1_epi64x('-')), negative);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(texts + i), _mm256_blendv_epi8(old, text, ok));
  }
}

}  // namespace

void fill_fixed_texts_avx2(const double* values, CellText* texts, std::size_t n) {
  fill_four_at_a_time(values, texts, n);
}

}  // namespace plotveil
