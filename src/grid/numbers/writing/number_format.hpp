// The text form of a number in a text grid: six significant digits, taken from
// the value's 17 correctly rounded significant digits and rounded there half
// away from zero; fixed form for decimal exponents -4 to 5, otherwise
// "d.ddddde+XXX" with a three-digit exponent; trailing zeros removed; "-0";
// infinities and NaNs as "1.#INF", "-1.#INF", "-1.#IND", "1.#QNAN", "1.#SNAN".
#pragma once

#include <cstdint>
#include <cstring>

#include "grid/numbers/cell_text.hpp"

namespace plotveil {

// The longest text format_number writes is 13 bytes ("-1.79769e+308").
inline constexpr int kMaxNumberText = 16;

// Writes the text of `value` at `out` and returns the end; no NUL is added.
// The kMaxNumberText bytes from `out` must be writable: bytes past the end
// may be written too.
char* format_number(double value, char* out);

// The text format_number writes for `value`, where it is at most eight bytes.
CellText cell_text_of(double value);

// The longest text format_exact_number writes is 24 bytes
// ("-2.2250738585072014e-308").
inline constexpr int kMaxExactNumberText = 32;

// The text of `value` that reads back as the same double: format_number's
// where that does; otherwise the fewest significant digits, 7 to 17, whose
// correctly rounded decimal does, laid out as format_number lays out its six
// (the exponent form when the decimal exponent is below -4 or at least the
// digit count), trailing zeros removed. Non-finite values as format_number.
char* format_exact_number(double value, char* out);

// Copies the bytes of `text` (without its NUL) to `out` and returns the end.
inline char* put(char* out, const char* text) {
  const std::size_t n = std::strlen(text);
  std::memcpy(out, text, n);
  return out + n;
}

namespace detail {

// A positive finite value rounded to six significant digits the tool's way:
// value ~= digits x 10^(exponent - 5), 100000 <= digits <= 999999.
struct SixDigits {
  std::uint32_t digits = 0;
  int exponent = 0;
};

// One double multiplication or division, for values whose rounding is clear
// by a wide margin: 1e-17 <= value < 1e28, the seventh digit and on not within
// 2^-30 of a half. False for everything it cannot settle.
bool six_digits_quick(double magnitude, SixDigits& result);
// Exact integer arithmetic; covers 1e-6 <= value < 1e32. False elsewhere.
bool six_digits_exact(double magnitude, SixDigits& result);
// Through the 17 digits std::to_chars gives: any positive finite value.
SixDigits six_digits_reference(double magnitude);

}  // namespace detail
}  // namespace plotveil
