#include "grid/numbers/writing/number_format.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "grid/numbers/number_constants.hpp"
#include "grid/numbers/reading/number_scan.hpp"

namespace plotveil {
namespace detail {
namespace {

constexpr std::uint32_t kTen5 = 100'000;
constexpr std::uint32_t kTen6 = 1'000'000;
constexpr std::uint64_t kTen11 = 100'000'000'000ULL;

// The six digits round up when the value's 17 correctly rounded digits reach
// the half: when the fraction left below the sixth digit, remainder / unit, is
// at least 1/2 - 10^-11 / 2 (a 17-digit tie rounds to the even ...50000000000).
inline bool reaches_half(u128 remainder, u128 unit) {
  return remainder * (2 * kTen11) >= unit * (kTen11 - 1);
}

// The integer part of m x 2^e x 10^(5 - x10), and the fraction left below it
// as remainder / unit. False when the numbers do not fit.
bool scaled_six(std::uint64_t m, int e, int x10, std::uint64_t& digits, u128& remainder, u128& unit) {
  int s = 5 - x10;
  if (s >= 0) {
    // m x 10^s / 2^k
    if (e >= 0 || s > 22) return false;
    int k = -e;
    if (k > 80) return false;
    u128 n = static_cast<u128>(m) * kPowersOfTen.p[s];
    u128 q = n >> k;
    if (q > 0xFFFFFFFFu) return false;
    digits = static_cast<std::uint64_t>(q);
    remainder = n - (q << k);
    unit = static_cast<u128>(1) << k;
    return true;
  }
  int t = -s;
  if (t > 26) return false;
  // m x 2^e / 10^t, or m / (10^t x 2^k)
  u128 numerator = m;
  unit = kPowersOfTen.p[t];
  if (e >= 0) {
    if (e > 73) return false;
    numerator <<= e;
  } else {
    if (-e > 60) return false;
    unit <<= -e;
  }
  u128 q = numerator / unit;
  if (q > 0xFFFFFFFFu) return false;
  digits = static_cast<std::uint64_t>(q);
  remainder = numerator - q * unit;
  return true;
}

}  // namespace

// The body of six_digits_quick, for format_number to take without a call.
[[gnu::always_inline]] inline bool six_digits_quick_inline(double magnitude, SixDigits& result) {
  std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
  int biased = static_cast<int>(bits >> 52) & 0x7FF;
  if (biased == 0 || biased == 0x7FF) return false;
  int x10 = decimal_exponent_estimate(biased - 1023);
  int s = 5 - x10;
  if (s > 22 || s < -21) return false;
  // y = value x 10^s, rounded once: 10^0 to 10^22 are exact doubles.
  double y = s >= 0 ? magnitude * kExactPowersOfTen.p[s] : magnitude / kExactPowersOfTen.p[-s];
  if (y >= 1e6) {
    ++x10;
    y = s - 1 >= 0 ? magnitude * kExactPowersOfTen.p[s - 1] : magnitude / kExactPowersOfTen.p[1 - s];
  }
  if (!(y >= 1e5 && y < 1e6)) return false;
  std::uint32_t whole = static_cast<std::uint32_t>(y);
  double fraction = y - whole;  // exact
  // Near 0 or 1 the nearest whole number is the answer whichever side the
  // exact value lies on; only near the half does the exact value decide.
  if (std::fabs(fraction - 0.5) < kRoundingMargin) return false;
  whole += fraction > 0.5 ? 1 : 0;
  if (whole == kTen6) {
    whole = kTen5;
    ++x10;
  }
  result.digits = whole;
  result.exponent = x10;
  return true;
}

bool six_digits_quick(double magnitude, SixDigits& result) { return six_digits_quick_inline(magnitude, result); }

bool six_digits_exact(double magnitude, SixDigits& result) {
  std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
  int biased = static_cast<int>(bits >> 52) & 0x7FF;
  if (biased == 0 || biased == 0x7FF) return false;  // subnormal, infinity, NaN
  std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  int e = biased - 1075;
  // The decimal exponent or one below.
  int x10 = decimal_exponent_estimate(biased - 1023);
  std::uint64_t digits = 0;
  u128 remainder = 0, unit = 0;
  if (!scaled_six(m, e, x10, digits, remainder, unit)) return false;
  if (digits >= kTen6) {
    // Seven digits: the exponent was one below; the last digit joins the fraction.
    remainder += (digits % 10) * unit;
    unit *= 10;
    digits /= 10;
    ++x10;
  }
  if (reaches_half(remainder, unit)) ++digits;
  if (digits == kTen6) {
    digits = kTen5;
    ++x10;
  }
  result.digits = static_cast<std::uint32_t>(digits);
  result.exponent = x10;
  return true;
}

SixDigits six_digits_reference(double magnitude) {
  char text[40];
  auto [end, ec] = std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific, 16);
  (void)ec;
  // "d.dddddddddddddddde[+-]xx": 17 digits, then the exponent.
  std::uint64_t digits17 = 0;
  const char* p = text;
  for (; p < end && *p != 'e'; ++p) {
    if (*p != '.') digits17 = digits17 * 10 + static_cast<std::uint64_t>(*p - '0');
  }
  ++p;
  bool negative = *p == '-';
  int exponent = 0;
  for (++p; p < end; ++p) exponent = exponent * 10 + (*p - '0');
  SixDigits result;
  result.exponent = negative ? -exponent : exponent;
  // From 17 digits to 6, a tie rounding away from zero.
  result.digits = static_cast<std::uint32_t>(digits17 / kTen11);
  if (digits17 % kTen11 >= kTen11 / 2) ++result.digits;
  if (result.digits == kTen6) {
    result.digits = kTen5;
    ++result.exponent;
  }
  return result;
}

}  // namespace detail

namespace {

// The six decimal digits of 100000 <= six <= 999999 as byte values 0 to 9,
// the first in the lowest byte, in a few multiplications without a table:
// three pairs in 16-bit lanes, each then split into tens and ones
// (kDivideBy10), which no lane's product carries out of.
inline std::uint64_t six_digit_values(std::uint32_t six) {
  const std::uint32_t first = six / 10000;
  const std::uint32_t rest = six - first * 10000;
  const std::uint32_t second = rest / 100;
  const std::uint32_t third = rest - second * 100;
  const std::uint64_t pairs = first | (std::uint64_t{second} << 16) | (std::uint64_t{third} << 32);
  const std::uint64_t tens = ((pairs * kDivideBy10.multiplier) >> kDivideBy10.shift) & 0x0000000F000F000FULL;
  return tens | ((pairs - tens * 10) << 8);
}

// `count` significant digits (trailing zeros removed) of a value whose
// decimal exponent is x10, laid out as "%g" lays out `precision` digits: the
// exponent form "d.ddde+XXX" when x10 is below -4 or at least the precision,
// else the fixed form. `digits` holds at least `precision` digits, zeros after
// the significant ones.
inline char* lay_out(const char* digits, int count, int x10, int precision, char* out) {
  if (x10 < -4 || x10 >= precision) {
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
  detail::SixDigits six_digits;
  if (!detail::six_digits_quick_inline(magnitude, six_digits) && !detail::six_digits_exact(magnitude, six_digits)) {
    six_digits = detail::six_digits_reference(magnitude);
  }
  const std::uint32_t six = six_digits.digits;
  const int x10 = six_digits.exponent;
  // The six digits as text, two zero bytes after them.
  const std::uint64_t values = six_digit_values(six);
  const std::uint64_t text = values + (kZeroDigits >> 16);
  // The significant digits end at the last that is not 0; the first never is.
  const std::uint64_t nonzero = (values + kLowBits) & kHighBits;
  const int count = (71 - std::countl_zero(nonzero)) / 8;
  if (x10 >= 0 && x10 < 6) {
    // The fixed form of 1 and up, written in two copies of eight bytes from
    // the register: read back from memory just written, the second would
    // wait for the first store. What they put past the end lies within the
    // kMaxNumberText bytes a caller gives.
    const int whole = x10 + 1;
    std::memcpy(out, &text, 8);
    if (count <= whole) return out + whole;
    out[whole] = '.';
    const std::uint64_t fraction = text >> (8 * whole);
    std::memcpy(out + whole + 1, &fraction, 8);
    return out + count + 1;
  }
  char digits[16] = {};
  std::memcpy(digits, &text, sizeof text);
  return lay_out(digits, count, x10, 6, out);
}

CellText cell_text_of(double value) {
  char text[kMaxNumberText];
  const char* end = format_number(value, text);
  const std::size_t length = static_cast<std::size_t>(end - text);
  return length <= kCellTextReach ? pack_cell_text(text, length) : 0;
}

namespace {

// The text, read as a text grid's cell is, gives `value` back.
bool reads_back(const char* text, const char* end, double value) {
  NumberScanner scanner;
  if (scanner.feed(text, end) != end) return false;
  scanner.finish();
  return scanner.succeeded() && std::bit_cast<std::uint64_t>(scanner.value()) == std::bit_cast<std::uint64_t>(value);
}

// The digits and decimal exponent of a scientific text "[-]d.ddde[+-]x",
// laid out with `count` digits as the precision.
char* lay_out_scientific(const char* scientific, const char* end, int count, char* out) {
  const char* p = scientific;
  if (*p == '-') *out++ = *p++;
  char digits[20];
  std::memset(digits, '0', sizeof digits);
  int n = 0;
  for (; p < end && *p != 'e'; ++p) {
    if (*p != '.') digits[n++] = *p;
  }
  ++p;
  const bool negative = *p == '-';
  int x10 = 0;
  for (++p; p < end; ++p) x10 = x10 * 10 + (*p - '0');
  while (n > 1 && digits[n - 1] == '0') --n;
  return lay_out(digits, n, negative ? -x10 : x10, count, out);
}

}  // namespace

char* format_exact_number(double value, char* out) {
  char* end = format_number(value, out);
  if (!std::isfinite(value) || reads_back(out, end, value)) return end;
  char text[40];
  for (int count = 7; count < 17; ++count) {
    auto [stop, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, count - 1);
    (void)ec;
    if (reads_back(text, stop, value)) return lay_out_scientific(text, stop, count, out);
  }
  // Seventeen significant digits hold every double.
  auto [stop, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 16);
  (void)ec;
  return lay_out_scientific(text, stop, 17, out);
}

}  // namespace plotveil
