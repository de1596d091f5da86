// The syntax of a number in a text grid, scanned over character buffers:
//   [+|-] digits [. digits] | [+|-] . digits, then, only after a digit,
//   e|E [+|-] digits.
// No words (inf, nan) and no hexadecimal. An "e" and its sign are taken even
// when no exponent digit follows ("7e+x" is 7, stopping at the x). A scan may be
// fed in pieces, so a number can cross the end of a buffer.
#pragma once

#include <cstdint>

namespace plotveil {

// The common case in one pass: a plain decimal of at most 19 digits, no
// exponent, that converts exactly, and whose end lies before `limit`. Returns
// where it stops, or nullptr when the number needs the NumberScanner.
const char* scan_plain_number(const char* p, const char* limit, double& value);

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
