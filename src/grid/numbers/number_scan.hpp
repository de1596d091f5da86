// The syntax of a number in a text grid, scanned over character buffers:
//   [+|-] digits [. digits] | [+|-] . digits, then, only after a digit,
//   e|E [+|-] digits.
// No words (inf, nan) and no hexadecimal. An "e" and its sign are taken even
// when no exponent digit follows ("7e+x" is 7, stopping at the x). A scan may be
// fed in pieces, so a number can cross the end of a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "grid/numbers/cell_text.hpp"
#include "grid/numbers/powers_of_ten.hpp"

namespace plotveil {

namespace detail {

inline bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Eight digits at a time: the bytes of a chunk are tested and combined in one
// 64-bit register ("SWAR", SIMD within a register), the well-known digit
// parsing technique of the fast number-parsing literature, as fast_float and
// simdjson use it.

// How many of the eight bytes, from the first, are digits. Only bytes after the
// first non-digit can be disturbed by the carries, so the count is exact.
inline int leading_digits(std::uint64_t chunk) {
  std::uint64_t flags =
      ((chunk + 0x4646464646464646ULL) | (chunk - 0x3030303030303030ULL)) & 0x8080808080808080ULL;
  return flags == 0 ? 8 : __builtin_ctzll(flags) >> 3;
}

// The value of the first n (1 to 8) digits of the chunk.
inline std::uint64_t digits_value(std::uint64_t chunk, int n) {
  std::uint64_t v = (chunk - 0x3030303030303030ULL) << (8 * (8 - n));
  v = (v * 10) + (v >> 8);
  return (((v & 0x000000FF000000FFULL) * 0x000F424000000064ULL) +
          (((v >> 16) & 0x000000FF000000FFULL) * 0x0000271000000001ULL)) >> 32;
}

// Takes a run of digits into m (which may wrap past 19 digits; callers count).
inline const char* take_digits(const char* p, const char* limit, std::uint64_t& m) {
  while (limit - p >= 8) {
    std::uint64_t chunk;
    std::memcpy(&chunk, p, sizeof chunk);
    int n = leading_digits(chunk);
    if (n == 0) return p;
    m = m * kPowersOfTen64.p[n] + digits_value(chunk, n);
    p += n;
    if (n < 8) return p;
  }
  while (p < limit && is_digit(*p)) m = m * 10 + static_cast<std::uint64_t>(*p++ - '0');
  return p;
}

}  // namespace detail

// The common case in one pass: a plain decimal of at most 19 digits, no
// exponent, that converts exactly, and whose end lies before `limit`. Returns
// where it stops, or nullptr when the number needs the NumberScanner. Inline:
// the loops over a grid's cells take it without a call. With kKeepText,
// `text` gets the number's text where it is one a cell can keep (cell_text.hpp),
// else 0; then kCellTextReach bytes from `p` must be readable.
template <bool kKeepText = false>
[[gnu::always_inline]] inline const char* scan_plain_number(const char* p, const char* limit, double& value,
                                                            CellText* text = nullptr) {
  const char* const start = p;
  bool negative = false;
  if (p < limit && (*p == '-' || *p == '+')) negative = *p++ == '-';
  std::uint64_t m = 0;
  const char* digits = p;
  p = detail::take_digits(p, limit, m);
  std::ptrdiff_t whole = p - digits;
  std::ptrdiff_t fraction = 0;
  const bool point = p < limit && *p == '.';
  if (point) {
    const char* first = ++p;
    p = detail::take_digits(p, limit, m);
    fraction = p - first;
  }
  if (p >= limit || whole + fraction == 0 || whole + fraction > 19 || *p == 'e' || *p == 'E' ||
      fraction > 22 || m > (std::uint64_t{1} << 53)) {
    return nullptr;
  }
  // Both operands are exact, so the one rounding of the division is correct.
  double v = static_cast<double>(m);
  if (fraction > 0) v = v / kExactPowersOfTen.p[fraction];
  value = negative ? -v : v;
  if constexpr (kKeepText) {
    // Written back as it stands: six significant digits at most, no "+", a
    // leading zero only in "0.", no point without a digit after it and no
    // trailing zero after one, and a decimal exponent from -4 to 5.
    const std::size_t length = static_cast<std::size_t>(p - start);
    const bool kept = length <= kCellTextReach && *start != '+' && m != 0 && m < 1'000'000 && whole > 0 &&
                      (*digits != '0' || (whole == 1 && point)) && (!point || (fraction > 0 && p[-1] != '0')) &&
                      v >= 1e-4;
    *text = kept ? pack_cell_text(start, length) : 0;
  }
  return p;
}

class NumberScanner {
 public:
  enum class Phase : std::uint8_t {
    start, after_sign, after_point, integer, fraction, exponent_mark, exponent,
    finished, failed,
  };

  // Scans from `p` and returns where the number stops: at the first character
  // that does not fit (then `done()`), or at `limit` when more may follow.
  const char* feed(const char* p, const char* limit);
  // The data has ended: a number scanned so far is complete.
  void finish();

  bool done() const { return phase_ == Phase::finished || phase_ == Phase::failed; }
  bool succeeded() const { return phase_ == Phase::finished; }
  // The nearest double, as strtod gives it: overflow gives an infinity,
  // underflow the nearest subnormal or a signed zero.
  double value() const;

  // Significant digits beyond this many only decide the rounding.
  static constexpr int kMaxDigits = 800;

 private:
  void add_digit(char c, bool in_fraction);

  Phase phase_ = Phase::start;
  bool negative_ = false;
  bool exponent_negative_ = false;
  bool nonzero_dropped_ = false;
  int significant_ = 0;            // significant digits kept in digits_
  std::uint64_t mantissa_ = 0;     // the first 19 of them
  std::int64_t shift_ = 0;         // value = digits x 10^(shift + exponent)
  std::int64_t exponent_ = 0;      // saturates far beyond the double range
  char digits_[kMaxDigits];
};

}  // namespace plotveil
