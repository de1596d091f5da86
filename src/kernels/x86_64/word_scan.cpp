// x86-64: four short numbers at a time in AVX2 registers, on processors that
// have AVX2; word by word, white space found in SSE2, on the others.
#include <immintrin.h>

#include "grid/numbers/number_constants.hpp"
#include "grid/numbers/reading/word_scan.hpp"
#include "kernels/x86_64/forms.hpp"

namespace plotveil {
namespace {

// Each 64-bit lane holds one word, as scan_short_word takes it: the eight
// bytes from its start and from the byte after, `lows` the eight after its
// sign, and its length. The tests are scan_short_word's, lane by lane. The
// words' bytes are loaded one by one: gathering them takes longer on some
// processors.
template <bool kKeepText>
[[gnu::target("avx2")]] inline bool scan_four(BlockScan& scan, const std::size_t* word_starts,
                                                                const std::size_t* word_ends) {
  // A word of more than nine bytes is no short number: where any is, as in
  // grids of long decimals, the group goes word by word without more tests.
  if ((word_ends[0] - word_starts[0] > 9) | (word_ends[1] - word_starts[1] > 9) |
      (word_ends[2] - word_starts[2] > 9) | (word_ends[3] - word_starts[3] > 9)) {
    return false;
  }
  long long first[4];
  long long second[4];
  for (int j = 0; j < 4; ++j) {
    std::memcpy(&first[j], scan.text + word_starts[j], 8);
    std::memcpy(&second[j], scan.text + word_starts[j] + 1, 8);
  }
  const __m256i from_first = _mm256_set_epi64x(first[3], first[2], first[1], first[0]);
  const __m256i from_second = _mm256_set_epi64x(second[3], second[2], second[1], second[0]);
  const __m256i first_byte = _mm256_and_si256(from_first, _mm256_set1_epi64x(0xFF));
  const __m256i negative = _mm256_cmpeq_epi64(first_byte, _mm256_set1_epi64x('-'));
  const __m256i sign = _mm256_or_si256(negative, _mm256_cmpeq_epi64(first_byte, _mm256_set1_epi64x('+')));
  const __m256i lows = _mm256_blendv_epi8(from_first, from_second, sign);
  const __m256i length = _mm256_sub_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(word_ends)),
                                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(word_starts)));
  const __m256i zero = _mm256_setzero_si256();
  const __m256i ones = _mm256_set1_epi64x(-1);
  const __m256i one = _mm256_set1_epi64x(1);
  const __m256i sixty_four = _mm256_set1_epi64x(64);
  const __m256i bytes = _mm256_add_epi64(length, sign);  // the bytes after the sign
  // Shifts of 64 or more give 0, as the instructions define them.
  const __m256i in_bytes = _mm256_srlv_epi64(ones, _mm256_sub_epi64(sixty_four, _mm256_slli_epi64(bytes, 3)));
  const __m256i x = _mm256_xor_si256(lows, _mm256_set1_epi8('0'));
  const __m256i non_digits = _mm256_and_si256(
      _mm256_or_si256(_mm256_add_epi64(_mm256_and_si256(x, _mm256_set1_epi64x(kLowBits)),
                                       _mm256_set1_epi64x(kDigitLimit)),
                      x),
      _mm256_set1_epi64x(static_cast<long long>(kHighBits)));
  const __m256i others = _mm256_and_si256(non_digits, in_bytes);
  const __m256i no_point = _mm256_cmpeq_epi64(others, zero);
  const __m256i point = _mm256_xor_si256(no_point, ones);
  const __m256i unit = _mm256_srli_epi64(others, 7);  // bit 0 of the point's byte
  const __m256i below = _mm256_sub_epi64(unit, one);  // the bytes before the point; all without one
  const __m256i point_byte = _mm256_sub_epi64(_mm256_slli_epi64(others, 1), unit);
  const __m256i count = _mm256_add_epi64(bytes, point);  // digits: one byte fewer with a point
  const __m256i one_other = _mm256_cmpeq_epi64(_mm256_and_si256(others, _mm256_sub_epi64(others, one)), zero);
  const __m256i is_point = _mm256_cmpeq_epi64(
      _mm256_and_si256(_mm256_xor_si256(lows, _mm256_set1_epi8('.')), point_byte), zero);
  const __m256i fits = _mm256_and_si256(_mm256_cmpgt_epi64(bytes, zero),
                                        _mm256_cmpgt_epi64(_mm256_set1_epi64x(9), bytes));
  const __m256i valid = _mm256_andnot_si256(_mm256_cmpeq_epi64(count, zero),
                                            _mm256_and_si256(_mm256_and_si256(one_other, is_point), fits));
  if (_mm256_movemask_pd(_mm256_castsi256_pd(valid)) != 0xF) return false;

  // The digits after the point move down one byte over it, then up to the
  // top of the lane; pairs, fours and eights of them are summed by their
  // weights.
  const __m256i digits =
      _mm256_or_si256(_mm256_and_si256(lows, below), _mm256_andnot_si256(below, _mm256_srli_epi64(lows, 8)));
  const __m256i placed = _mm256_sllv_epi64(_mm256_sub_epi64(digits, _mm256_set1_epi8('0')),
                                           _mm256_sub_epi64(sixty_four, _mm256_slli_epi64(count, 3)));
  const __m256i pairs = _mm256_maddubs_epi16(placed, _mm256_set1_epi16(0x010A));
  const __m256i fours = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00010064));
  const __m256i m = _mm256_add_epi64(_mm256_mul_epu32(fours, _mm256_set1_epi64x(10000)), _mm256_srli_epi64(fours, 32));
  const __m256i before_point = _mm256_sad_epu8(_mm256_and_si256(below, _mm256_set1_epi8(1)), zero);
  const __m256i fraction = _mm256_and_si256(point, _mm256_sub_epi64(count, before_point));
  // Both operands of the division are exact, so its one rounding is
  // correct: the integers, below 2^52, placed in the mantissa of 2^52, less 2^52.
  const __m256i powers_of_ten = _mm256_and_si256(
      _mm256_permutevar8x32_epi32(_mm256_setr_epi32(1, 10, 100, 1000, 10000, 100000, 1000000, 10000000), fraction),
      _mm256_set1_epi64x(0xFFFFFFFF));
  const __m256d two_to_52 = _mm256_set1_pd(kTwoTo52);
  const __m256d value = _mm256_div_pd(
      _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(m, _mm256_castpd_si256(two_to_52))), two_to_52),
      _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(powers_of_ten, _mm256_castpd_si256(two_to_52))), two_to_52));
  const __m256i sign_bits = _mm256_and_si256(negative, _mm256_set1_epi64x(static_cast<long long>(1ULL << 63)));
  _mm256_storeu_pd(scan.cells + scan.count, _mm256_or_pd(value, _mm256_castsi256_pd(sign_bits)));

  if constexpr (kKeepText) {
    const __m256i whole = _mm256_sub_epi64(count, fraction);
    const __m256i first = _mm256_and_si256(lows, _mm256_set1_epi64x(0xFF));
    const __m256i last = _mm256_and_si256(
        _mm256_srlv_epi64(lows, _mm256_sub_epi64(_mm256_slli_epi64(bytes, 3), _mm256_set1_epi64x(8))),
        _mm256_set1_epi64x(0xFF));
    const __m256i powers = powers_of_ten;
    const __m256i zero_char = _mm256_set1_epi64x('0');
    // Each test true (all ones) where the text is kept:
    const __m256i short_text = _mm256_cmpgt_epi64(_mm256_set1_epi64x(9), length);
    const __m256i no_plus = _mm256_xor_si256(_mm256_andnot_si256(negative, sign), ones);
    const __m256i six_digits = _mm256_and_si256(_mm256_cmpgt_epi64(m, zero),
                                                _mm256_cmpgt_epi64(_mm256_set1_epi64x(1000000), m));
    const __m256i has_whole = _mm256_cmpgt_epi64(whole, zero);
    const __m256i no_leading_zero = _mm256_or_si256(
        _mm256_xor_si256(_mm256_cmpeq_epi64(first, zero_char), ones),
        _mm256_and_si256(_mm256_cmpeq_epi64(whole, one), point));
    const __m256i no_trailing_zero = _mm256_or_si256(
        no_point, _mm256_andnot_si256(_mm256_cmpeq_epi64(last, zero_char), _mm256_cmpgt_epi64(fraction, zero)));
    const __m256i not_tiny =
        _mm256_xor_si256(_mm256_cmpgt_epi64(powers, _mm256_mul_epu32(m, _mm256_set1_epi64x(10000))), ones);
    const __m256i kept = _mm256_and_si256(
        _mm256_and_si256(_mm256_and_si256(short_text, no_plus), _mm256_and_si256(six_digits, has_whole)),
        _mm256_and_si256(_mm256_and_si256(no_leading_zero, no_trailing_zero), not_tiny));
    // The text from the word's first byte: a "-" before the digits.
    const __m256i signed_text = _mm256_or_si256(_mm256_slli_epi64(lows, 8), _mm256_set1_epi64x('-'));
    const __m256i text = _mm256_blendv_epi8(lows, signed_text, sign);
    const __m256i in_length = _mm256_srlv_epi64(ones, _mm256_sub_epi64(sixty_four, _mm256_slli_epi64(length, 3)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(scan.texts + scan.count),
                        _mm256_and_si256(kept, _mm256_and_si256(text, in_length)));
  }
  scan.count += 4;
  scan.converted = scan.count;
  return true;
}

// A plain decimal (scan_plain_decimal's words) with its first 16 bytes in
// one register: the point found among them and taken out by a shuffle that
// also moves the digits to the top, then summed in pairs, fours and eights
// by their weights; up to four digits after those 16 bytes are added as
// eight bytes at once.
[[gnu::target("avx2")]] inline bool scan_plain_decimal_avx2(const char* p, const char* end, double& value) {
  using namespace detail;
  const bool negative = *p == '-';
  p += negative;
  const std::ptrdiff_t length = end - p;  // the digits and the point
  if (length < 3 || length > 20) return false;
  const __m128i digits = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), _mm_set1_epi8('0'));
  const unsigned is_digit = static_cast<unsigned>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(digits, _mm_set1_epi8(9)), digits)));
  const int whole = __builtin_ctz(~is_digit);
  const int fraction = static_cast<int>(length) - whole - 1;
  if (whole == 0 || whole > 7 || p[whole] != '.' || fraction < 1) return false;
  const int in_register = length < 16 ? static_cast<int>(length) : 16;
  const unsigned wanted = ((1u << in_register) - 1) & ~(1u << whole);
  if ((is_digit & wanted) != wanted) return false;
  // Byte i of the result takes byte i - (16 - n) of the word, one further
  // from the point on; a negative index gives 0.
  const int n = in_register - 1;
  __m128i from = _mm_sub_epi8(_mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                              _mm_set1_epi8(static_cast<char>(16 - n)));
  from = _mm_sub_epi8(from, _mm_cmpgt_epi8(from, _mm_set1_epi8(static_cast<char>(whole - 1))));
  const __m128i placed = _mm_shuffle_epi8(digits, from);
  const __m128i pairs = _mm_maddubs_epi16(placed, _mm_set1_epi16(0x010A));
  const __m128i fours = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00010064));
  const __m128i eights = _mm_madd_epi16(_mm_packus_epi32(fours, fours), _mm_set1_epi32(0x00012710));
  std::uint64_t w = static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_cvtsi128_si32(eights))) * 100000000 +
                    static_cast<std::uint32_t>(_mm_extract_epi32(eights, 1));
  // Without branches on the word's length or its digits, which vary from
  // word to word: the bytes after the register are taken as no digit at all
  // when there are none, and every value goes through the 128-bit product.
  const int rest = length > 16 ? static_cast<int>(length) - 16 : 0;
  std::uint64_t chunk;
  std::memcpy(&chunk, p + 16, sizeof chunk);
  if (leading_digits(chunk) < rest) return false;
  const std::uint64_t tail = digits_value(chunk, rest | (rest == 0));
  w = w * kPowersOfTen64.p[rest] + (rest != 0 ? tail : 0);
  const double v = w != 0 ? eisel_lemire(w, -fraction) : 0.0;
  value = negative ? -v : v;
  return true;
}

// White space, 64 bytes in two 32-byte registers, as space_mask finds it.
[[gnu::target("avx2")]] inline std::uint64_t space_mask_avx2(const char* bytes) {
  const __m256i blank = _mm256_set1_epi8(' ');
  const __m256i tab = _mm256_set1_epi8('\t');
  const __m256i four = _mm256_set1_epi8(4);
  std::uint64_t mask = 0;
  for (int k = 0; k < 2; ++k) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32 * k));
    // TAB to CR are the bytes whose distance from TAB is at most 4.
    const __m256i from_tab = _mm256_sub_epi8(x, tab);
    const __m256i control = _mm256_cmpeq_epi8(_mm256_min_epu8(from_tab, four), from_tab);
    const __m256i space = _mm256_or_si256(_mm256_cmpeq_epi8(x, blank), control);
    mask |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(space))) << (32 * k);
  }
  return mask;
}

// A whole block with AVX2 and the bit instructions that come with it: every
// call within is taken into this one function, so the white space and the
// words are found with them too.
template <bool kKeepText>
[[gnu::target("avx2,bmi,bmi2"), gnu::flatten]] std::size_t read_block_avx2(const char* text, std::size_t size,
                                                                           double* cells, CellText* texts,
                                                                           bool& stops) {
  return read_block<space_mask_avx2,
                    scan_words_grouped<kKeepText, 4, scan_four<kKeepText>, scan_plain_decimal_avx2>>(
      text, size, cells, texts, stops);
}

}  // namespace

std::size_t read_text_block_avx2(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops) {
  return texts != nullptr ? read_block_avx2<true>(text, size, cells, texts, stops)
                          : read_block_avx2<false>(text, size, cells, nullptr, stops);
}

std::size_t read_text_block_sse2(const char* text, std::size_t size, double* cells, CellText* texts, bool& stops) {
  return texts != nullptr ? read_block<space_mask_sse2, scan_words_plain<true>>(text, size, cells, texts, stops)
                          : read_block<space_mask_sse2, scan_words_plain<false>>(text, size, cells, nullptr, stops);
}

}  // namespace plotveil
