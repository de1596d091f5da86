#include "grid/number_format.hpp"

#include <bit>
#include <charconv>
#include <cstring>

namespace plotveil {
namespace detail {
namespace {

using u128 = unsigned __int128;

constexpr std::uint64_t kTen16 = 10'000'000'000'000'000ULL;
constexpr std::uint64_t kTen17 = 100'000'000'000'000'000ULL;

constexpr u128 power_of_ten(int n) {
  u128 p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

constexpr auto kPowers = [] {
  struct Table { u128 p[39]; } t{};
  for (int i = 0; i < 39; ++i) t.p[i] = power_of_ten(i);
  return t;
}();

// Truncated and correctly rounded (ties to even) value x 10^(16 - x10) for a
// positive normal double m x 2^e. False when the exact product does not fit.
bool scaled(std::uint64_t m, int e, int x10, u128& truncated, u128& rounded) {
  int s = 16 - x10;
  if (s >= 0) {
    if (s > 22) return false;
    u128 n = static_cast<u128>(m) * kPowers.p[s];
    if (e >= 0) {
      if (e > 40 || (n >> (127 - e)) != 0) return false;
      truncated = rounded = n << e;
      return true;
    }
    int k = -e;
    if (k >= 127) return false;
    u128 q = n >> k;
    u128 r = n & ((static_cast<u128>(1) << k) - 1);
    u128 half = static_cast<u128>(1) << (k - 1);
    truncated = q;
    rounded = q + ((r > half || (r == half && (q & 1) != 0)) ? 1 : 0);
    return true;
  }
  if (-s > 38 || e < 0 || e > 74) return false;
  u128 v = static_cast<u128>(m) << e;
  u128 p = kPowers.p[-s];
  u128 q = v / p;
  u128 r = v - q * p;
  truncated = q;
  rounded = q + ((2 * r > p || (2 * r == p && (q & 1) != 0)) ? 1 : 0);
  return true;
}

}  // namespace

bool digits17_exact(double magnitude, Digits17& result) {
  std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
  int biased = static_cast<int>(bits >> 52) & 0x7FF;
  if (biased == 0 || biased == 0x7FF) return false;  // subnormal, infinity, NaN
  std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  int e = biased - 1075;
  int b = biased - 1023;  // floor(log2 value)
  // floor(b x log10(2)): the decimal exponent, or one below it.
  int x10 = (b * 78913) >> 18;
  u128 truncated = 0, rounded = 0;
  if (!scaled(m, e, x10, truncated, rounded)) return false;
  if (truncated >= kTen17) {
    ++x10;
    if (!scaled(m, e, x10, truncated, rounded)) return false;
  }
  if (rounded == kTen17) {
    rounded = kTen16;
    ++x10;
  }
  result.digits = static_cast<std::uint64_t>(rounded);
  result.exponent = x10;
  return true;
}

Digits17 digits17_reference(double magnitude) {
  char text[40];
  auto [end, ec] = std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific, 16);
  (void)ec;
  // "d.dddddddddddddddde[+-]xx"
  Digits17 result;
  const char* p = text;
  for (; p < end && *p != 'e'; ++p) {
    if (*p != '.') result.digits = result.digits * 10 + static_cast<std::uint64_t>(*p - '0');
  }
  ++p;
  bool negative = *p == '-';
  ++p;
  int exponent = 0;
  for (; p < end; ++p) exponent = exponent * 10 + (*p - '0');
  result.exponent = negative ? -exponent : exponent;
  return result;
}

}  // namespace detail

namespace {

char* put(char* out, const char* text) {
  std::size_t n = std::strlen(text);
  std::memcpy(out, text, n);
  return out + n;
}

char* format_special(std::uint64_t bits, char* out) {
  bool negative = (bits >> 63) != 0;
  std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  constexpr std::uint64_t quiet_bit = std::uint64_t{1} << 51;
  if (fraction == 0) return put(out, negative ? "-1.#INF" : "1.#INF");
  // The NaN that invalid arithmetic produces.
  if (negative && fraction == quiet_bit) return put(out, "-1.#IND");
  if (negative) *out++ = '-';
  return put(out, (fraction & quiet_bit) != 0 ? "1.#QNAN" : "1.#SNAN");
}

}  // namespace

char* format_number(double value, char* out) {
  std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  if (((bits >> 52) & 0x7FF) == 0x7FF) return format_special(bits, out);
  if ((bits >> 63) != 0) *out++ = '-';
  double magnitude = std::bit_cast<double>(bits & ~(std::uint64_t{1} << 63));
  if (magnitude == 0) {
    *out++ = '0';
    return out;
  }
  detail::Digits17 d;
  if (!detail::digits17_exact(magnitude, d)) d = detail::digits17_reference(magnitude);

  // From 17 digits to 6, a tie rounding away from zero.
  constexpr std::uint64_t kTen11 = 100'000'000'000ULL;
  std::uint32_t six = static_cast<std::uint32_t>(d.digits / kTen11);
  if (d.digits - six * kTen11 >= kTen11 / 2) ++six;
  int x10 = d.exponent;
  if (six == 1'000'000) {
    six = 100'000;
    ++x10;
  }
  char digits[6];
  for (int i = 5; i >= 0; --i) {
    digits[i] = static_cast<char>('0' + six % 10);
    six /= 10;
  }
  int count = 6;
  while (count > 1 && digits[count - 1] == '0') --count;

  if (x10 < -4 || x10 >= 6) {
    *out++ = digits[0];
    if (count > 1) {
      *out++ = '.';
      for (int i = 1; i < count; ++i) *out++ = digits[i];
    }
    *out++ = 'e';
    *out++ = x10 < 0 ? '-' : '+';
    int a = x10 < 0 ? -x10 : x10;
    *out++ = static_cast<char>('0' + a / 100);
    *out++ = static_cast<char>('0' + a / 10 % 10);
    *out++ = static_cast<char>('0' + a % 10);
    return out;
  }
  if (x10 >= 0) {
    for (int i = 0; i <= x10; ++i) *out++ = digits[i];
    if (count > x10 + 1) {
      *out++ = '.';
      for (int i = x10 + 1; i < count; ++i) *out++ = digits[i];
    }
    return out;
  }
  *out++ = '0';
  *out++ = '.';
  for (int i = 0; i < -x10 - 1; ++i) *out++ = '0';
  for (int i = 0; i < count; ++i) *out++ = digits[i];
  return out;
}

}  // namespace plotveil
