// A decimal number in memory converted in one pass, without strtod: its first
// 19 significant digits gathered eight at a time, then the exact fast paths
// of the number-parsing literature (as fast_float uses them): Clinger's,
// where the digits and the power of ten are both exact doubles, and else the
// Eisel-Lemire product of the digits with a 128-bit power of five, which
// always settles 19 digits. Longer numbers are settled by their first 19
// digits where those and the next value up round alike; the rare rest is
// left to the NumberScanner.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "grid/numbers/number_constants.hpp"
#include "grid/numbers/reading/digits.hpp"
#include "grid/numbers/reading/powers_of_five_128.hpp"

namespace plotveil {
namespace detail {

// w x 10^q (w not 0) rounded to the nearest double, ties to even: one
// 64 x 128-bit product with 5^q (a second 64 bits of it where the first
// leave the rounding open), the power of two from q log2(10).
inline double eisel_lemire(std::uint64_t w, std::int64_t q) {
  constexpr std::uint64_t kInfinity = std::uint64_t{0x7FF} << 52;
  constexpr std::uint64_t kHidden = std::uint64_t{1} << 52;
  if (q < kSmallestPowerOfFive) return 0.0;  // below half the least subnormal
  if (q > kLargestPowerOfFive) return std::bit_cast<double>(kInfinity);
  const int zeros = std::countl_zero(w);
  w <<= zeros;
  const std::uint64_t* power = kPowersOfFive128[q - kSmallestPowerOfFive];
  const unsigned __int128 first = static_cast<unsigned __int128>(w) * power[0];
  std::uint64_t high = static_cast<std::uint64_t>(first >> 64);
  std::uint64_t low = static_cast<std::uint64_t>(first);
  // The 55 bits kept (52, the hidden bit, one to round and one the top may
  // lose) are settled unless every bit below them is set.
  constexpr std::uint64_t kBelowKept = ~std::uint64_t{0} >> 55;
  if ((high & kBelowKept) == kBelowKept) {
    const std::uint64_t second = static_cast<std::uint64_t>((static_cast<unsigned __int128>(w) * power[1]) >> 64);
    low += second;
    if (second > low) ++high;
  }
  const int top = static_cast<int>(high >> 63);
  const int shift = top + 9;
  std::uint64_t mantissa = high >> shift;
  std::int64_t power2 = binary_exponent_estimate(q) + 63 + top - zeros + 1023;
  if (power2 <= 0) {
    // A subnormal, or zero: no tie to even is possible this far down.
    if (-power2 + 1 >= 64) return 0.0;
    mantissa >>= -power2 + 1;
    mantissa += mantissa & 1;
    mantissa >>= 1;
    const std::uint64_t exponent = mantissa < kHidden ? 0 : 1;
    return std::bit_cast<double>((exponent << 52) | (mantissa & (kHidden - 1)));
  }
  // Exactly between two doubles, which happens only where 5^q fits 64 bits:
  // round to even.
  if (low <= 1 && q >= -4 && q <= 23 && (mantissa & 3) == 1 && (mantissa << shift) == high) {
    mantissa &= ~std::uint64_t{1};
  }
  mantissa += mantissa & 1;
  mantissa >>= 1;
  if (mantissa >= 2 * kHidden) {
    mantissa = kHidden;
    ++power2;
  }
  if (power2 >= 0x7FF) return std::bit_cast<double>(kInfinity);
  return std::bit_cast<double>((static_cast<std::uint64_t>(power2) << 52) | (mantissa & (kHidden - 1)));
}

// The significant digits of a number: the first 19 in w, the others only
// counted, and whether any of those is not 0.
struct Significand {
  std::uint64_t w = 0;
  int taken = 0;            // digits in w
  std::int64_t left = 0;    // significant digits after those
  bool nonzero_left = false;
};

// Takes the run of digits at `p` into `s`, eight at a time while they fit w;
// returns where the run ends.
inline const char* take_significant(const char* p, const char* limit, Significand& s) {
  while (limit - p >= 8) {
    std::uint64_t chunk;
    std::memcpy(&chunk, p, sizeof chunk);
    const int n = leading_digits(chunk);
    if (s.taken + n > 19) break;
    if (n > 0) s.w = s.w * kPowersOfTen64.p[n] + digits_value(chunk, n);
    s.taken += n;
    p += n;
    if (n < 8) return p;
  }
  for (; p < limit && is_digit(*p); ++p) {
    if (s.taken < 19) {
      s.w = s.w * 10 + static_cast<std::uint64_t>(*p - '0');
      ++s.taken;
    } else {
      ++s.left;
      s.nonzero_left = s.nonzero_left || *p != '0';
    }
  }
  return p;
}

// w x 10^q as the nearest double, w being a number's first 19 significant
// digits and `nonzero_left` telling whether any digit after them is not 0:
// Clinger's exact product where w and 10^q are both exact doubles, else the
// Eisel-Lemire product, which settles 19 digits and, with digits left, holds
// where w + 1 rounds alike. False, with nothing stored, for the rare rest.
inline bool settle_decimal(std::uint64_t w, std::int64_t q, bool nonzero_left, double& value) {
  if (w == 0) {
    value = 0;
  } else if (!nonzero_left && w <= (std::uint64_t{1} << 53) && q >= -22 && q <= 22) {
    // Both operands exact: the one rounding is correct.
    const double m = static_cast<double>(w);
    value = q >= 0 ? m * kExactPowersOfTen.p[q] : m / kExactPowersOfTen.p[-q];
  } else {
    const double v = eisel_lemire(w, q);
    if (nonzero_left && std::bit_cast<std::uint64_t>(v) != std::bit_cast<std::uint64_t>(eisel_lemire(w + 1, q))) {
      return false;
    }
    value = v;
  }
  return true;
}

}  // namespace detail

// The commonest long word, as other programs write a raster's cells
// ("827.50897216796875", "-0.000123"): an optional minus, one to seven digits,
// a point and more digits, 19 at most in all, the word ending at `end`. Its
// value is w x 10^-(digits after the point); false for any other word, which
// scan_decimal reads. The eight bytes after `end` must be readable.
inline bool scan_plain_decimal(const char* p, const char* end, double& value) {
  using namespace detail;
  const bool negative = *p == '-';
  p += negative;
  std::uint64_t chunk;
  std::memcpy(&chunk, p, sizeof chunk);
  const int whole = leading_digits(chunk);
  if (whole == 0 || whole == 8 || p[whole] != '.') return false;
  std::uint64_t w = digits_value(chunk, whole);
  const char* f = p + whole + 1;
  const std::ptrdiff_t fraction = end - f;
  if (fraction <= 0 || whole + fraction > 19) return false;
  for (; end - f >= 8; f += 8) {
    std::memcpy(&chunk, f, sizeof chunk);
    if (non_digits(chunk) != 0) return false;
    w = w * 100000000 + digits_value(chunk, 8);
  }
  if (const int rest = static_cast<int>(end - f); rest > 0) {
    std::memcpy(&chunk, f, sizeof chunk);
    if (leading_digits(chunk) < rest) return false;
    w = w * kPowersOfTen64.p[rest] + digits_value(chunk, rest);
  }
  double v = 0;
  settle_decimal(w, -fraction, false, v);
  value = negative ? -v : v;
  return true;
}

// A number of the text grids' syntax at `p` ([+|-] digits [. digits] |
// [+|-] . digits, then after a digit e|E [+|-] digits, an "e" and its sign
// taken even without a digit after them), converted to the nearest double.
// Returns where it stops, or nullptr when it reaches `limit` (it may go on
// beyond), has no digit, or needs the NumberScanner to settle its rounding.
inline const char* scan_decimal(const char* p, const char* limit, double& value) {
  using namespace detail;
  bool negative = false;
  if (p < limit && (*p == '-' || *p == '+')) negative = *p++ == '-';
  const char* first = p;
  // Leading zeros only move the point.
  while (p < limit && *p == '0') ++p;
  Significand s;
  p = take_significant(p, limit, s);
  bool digit = p != first;
  std::int64_t fraction_digits = 0;
  if (p < limit && *p == '.') {
    const char* fraction = ++p;
    if (s.taken == 0) {
      while (p < limit && *p == '0') ++p;
    }
    p = take_significant(p, limit, s);
    fraction_digits = p - fraction;
    digit = digit || fraction_digits > 0;
  }
  if (!digit || p >= limit) return nullptr;
  std::int64_t exponent = 0;
  if (*p == 'e' || *p == 'E') {
    const char* e = p + 1;
    bool exponent_negative = false;
    if (e < limit && (*e == '-' || *e == '+')) exponent_negative = *e++ == '-';
    for (; e < limit && is_digit(*e); ++e) {
      if (exponent < kExponentCap) exponent = exponent * 10 + (*e - '0');
    }
    if (e >= limit) return nullptr;
    if (exponent_negative) exponent = -exponent;
    p = e;
  }
  // value = w x 10^q, the digits after w's dropped; those of the fraction
  // are counted in fraction_digits and in s.left alike.
  double v = 0;
  if (!settle_decimal(s.w, exponent - fraction_digits + s.left, s.nonzero_left, v)) return nullptr;
  value = negative ? -v : v;
  return p;
}

}  // namespace plotveil
