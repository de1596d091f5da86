// The syntax of a number in a text grid, scanned over character buffers:
//   [+|-] digits [. digits] | [+|-] . digits, then, only after a digit,
//   e|E [+|-] digits.
// No words (inf, nan) and no hexadecimal. An "e" and its sign are taken even
// when no exponent digit follows ("7e+x" is 7, stopping at the x). A scan may be
// fed in pieces, so a number can cross the end of a buffer.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "grid/numbers/cell_text.hpp"
#include "grid/numbers/number_constants.hpp"
#include "grid/numbers/reading/digits.hpp"

namespace plotveil {

// Bytes a buffer needs readable from a word's start for scan_short_word.
inline constexpr std::size_t kShortWordReach = 9;

// A short number as the scan leaves it, before its conversion: its digits
// as an integer m (below 10^8) in bits 0 to 31, the count of digits after
// the point in bits 32 to 35, and the sign in bit 63.
using ShortNumber = std::uint64_t;

// The value of a short number: both operands of the division are exact, so
// its one rounding is correct; dividing by 10^0 = 1 changes nothing.
inline double short_number_value(ShortNumber n) {
  const double v = detail::exact_double(n & 0xFFFFFFFFu) / kExactPowersOfTen.p[(n >> 32) & 15];
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(v) | (n & (std::uint64_t{1} << 63)));
}

// A whole word of `length` bytes at `p` (white space before and after it)
// that is one number of the most common form in grids: a sign, then at most
// eight bytes of digits with at most one point among them. True when it is,
// with the number in `number`; false for every other word (then
// scan_plain_number or the NumberScanner decides), with nothing stored.
// kShortWordReach bytes from `p` must be readable. With kKeepText, `text`
// gets the number's text where it is one a cell can keep (cell_text.hpp),
// else 0. Inline: the loop over a grid's words takes it without a call, and
// the division comes later, in a loop of its own, so that scanning the next
// word never waits for it.
template <bool kKeepText = false>
[[gnu::always_inline]] inline bool scan_short_word(const char* p, std::size_t length, ShortNumber& number,
                                                   CellText* text = nullptr) {
  const bool negative = *p == '-';
  const std::size_t sign = negative | (*p == '+');
  const char* q = p + sign;
  const std::size_t bytes = length - sign;  // 1 to 8, or else wrapped far above
  if (bytes - 1 >= 8) return false;
  std::uint64_t low;
  std::memcpy(&low, q, 8);
  const std::uint64_t others = detail::non_digits(low) & (~std::uint64_t{0} >> (64 - 8 * bytes));
  // At most one byte that is not a digit, a point, and a digit somewhere.
  // Tested together, without a branch each: words with and without a point
  // alternate unpredictably in a grid.
  const int at = __builtin_ctzll(others | (std::uint64_t{1} << 63)) >> 3;
  const bool point = others != 0;
  const int count = static_cast<int>(bytes) - point;
  if (((others & (others - 1)) != 0) | (point & ((static_cast<char>(low >> (8 * at)) != '.') | (count == 0)))) {
    return false;
  }
  // The digits after the point move down one byte over it.
  const std::uint64_t below = ((std::uint64_t{1} << (8 * at)) - 1) | (std::uint64_t{0} - !point);
  const std::uint64_t digits = (low & below) | ((low >> 8) & ~below);
  const std::uint64_t m = detail::digits_value(digits, count);
  const int fraction = (count - at) & -static_cast<int>(point);
  const int whole = count - fraction;
  number = m | (static_cast<std::uint64_t>(fraction) << 32) | (std::uint64_t{negative} << 63);
  if constexpr (kKeepText) {
    // Written back as it stands: six significant digits at most, no "+", a
    // leading zero only in "0.", no point without a digit after it and no
    // trailing zero after one, and a decimal exponent from -4 to 5: the
    // value m / 10^fraction, at most 8 digits after the point, is at least
    // 0.0001 exactly when m x 10^4 >= 10^fraction.
    // Tested together, without a branch each: the outcomes vary cell by cell.
    const bool kept = (length <= kCellTextReach) & (*p != '+') & (m - 1 < 999'999) & (whole > 0) &
                      ((*q != '0') | ((whole == 1) & point)) & ((!point) | ((fraction > 0) & (p[length - 1] != '0'))) &
                      (m * 10'000 >= kPowersOfTen64.p[fraction]);
    *text = kept ? pack_cell_text(p, length) : 0;
  }
  return true;
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
