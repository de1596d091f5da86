// The numbers behind reading and writing numbers quickly, each stated once:
// the scalar code and every processor kind's kernels take them from here.
#pragma once

#include <cstdint>

namespace plotveil {

using u128 = unsigned __int128;

// 10^0 to 10^38 as 128-bit integers: all that fit.
inline constexpr auto kPowersOfTen = [] {
  struct Table { u128 p[39]; } t{};
  u128 p = 1;
  for (int i = 0; i < 39; ++i, p *= 10) t.p[i] = p;
  return t;
}();

// 10^0 to 10^19, the same powers where 64 bits hold them.
inline constexpr auto kPowersOfTen64 = [] {
  struct Table { std::uint64_t p[20]; } t{};
  for (int i = 0; i < 20; ++i) t.p[i] = static_cast<std::uint64_t>(kPowersOfTen.p[i]);
  return t;
}();

// 10^0 to 10^22: the powers of ten a double holds exactly (5^22 < 2^53), so a
// product or quotient with one of them is a single correct rounding.
inline constexpr auto kExactPowersOfTen = [] {
  struct Table { double p[23]; } t{};
  for (int i = 0; i < 23; ++i) t.p[i] = static_cast<double>(kPowersOfTen.p[i]);
  return t;
}();

// 2^52. An integer m below 2^52 placed in the mantissa of 2^52 is the double
// 2^52 + m, and that less 2^52 is m, exactly: an integer made a double by a
// bitwise or and a subtraction, which every vector register has.
inline constexpr double kTwoTo52 = 4503599627370496.0;

// The decimal exponent of a positive double, or one below, from its binary
// exponent e (unbiased): floor(e x log10(2)) as (e x 78913) >> 18, 78913 being
// log10(2) x 2^18 rounded down.
inline constexpr int kLog10TwoTimes2To18 = 78913;
inline constexpr int kLog10TwoShift = 18;
constexpr int decimal_exponent_estimate(int binary_exponent) {
  return (binary_exponent * kLog10TwoTimes2To18) >> kLog10TwoShift;
}

// floor(q x log2(10)) for a decimal exponent q of the double range (the
// table of powers of five, -342 to 308): (q x 217706) >> 16.
inline constexpr std::int64_t kLog2TenTimes2To16 = 217706;
constexpr std::int64_t binary_exponent_estimate(std::int64_t decimal_exponent) {
  return (decimal_exponent * kLog2TenTimes2To16) >> 16;
}

// Far beyond the double range an exponent decides no more: a number's
// exponent is counted up to this and no further.
inline constexpr std::int64_t kExponentCap = 1'000'000'000;

// Six digits from one rounding of value x 10^s: the seventh digit and on are
// settled where they lie further than this from a half. Far wider than the
// error of that rounding (2^-33 for results below 2^20) plus the reach of the
// 17-digit rounding the digits are defined by (5e-12).
inline constexpr double kRoundingMargin = 1.0 / (1 << 30);

// Division by a constant as a multiplication and a shift, for vector
// registers, which have no integer division: n / divisor is
// (n x multiplier) >> shift exactly for every n the kernels give (six digits
// by 10^4, four by 100, two by 10; far beyond, too).
struct Reciprocal {
  std::uint32_t multiplier;
  int shift;
};
inline constexpr Reciprocal kDivideBy10000 = {0xD1B71759u, 45};
inline constexpr Reciprocal kDivideBy100 = {5243, 19};
inline constexpr Reciprocal kDivideBy10 = {103, 10};

// The byte `b` in each of the eight bytes of a 64-bit word, for the
// arithmetic that tests eight bytes at once.
constexpr std::uint64_t every_byte(std::uint8_t b) { return 0x0101010101010101ULL * b; }
inline constexpr std::uint64_t kHighBits = every_byte(0x80);  // the top bit of each byte
inline constexpr std::uint64_t kLowBits = every_byte(0x7F);   // the other seven
inline constexpr std::uint64_t kZeroDigits = every_byte('0');
// A byte below 0x80 plus 0x76 reaches 0x80 exactly where it is 10 or more:
// once '0' is taken away, the bytes that are no digit.
inline constexpr std::uint64_t kDigitLimit = every_byte(0x76);

}  // namespace plotveil
