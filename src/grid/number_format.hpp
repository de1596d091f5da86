// The text form of a number in a text grid: six significant digits, taken from
// the value's 17 correctly rounded significant digits and rounded there half
// away from zero; fixed form for decimal exponents -4 to 5, otherwise
// "d.ddddde+XXX" with a three-digit exponent; trailing zeros removed; "-0";
// infinities and NaNs as "1.#INF", "-1.#INF", "-1.#IND", "1.#QNAN", "1.#SNAN".
#pragma once

#include <cstdint>

namespace plotveil {

// The longest text format_number writes is 13 bytes ("-1.79769e+308").
inline constexpr int kMaxNumberText = 16;

// Writes the text of `value` at `out` and returns the end; no NUL is added.
char* format_number(double value, char* out);

namespace detail {

// A positive finite value's 17 significant digits, correctly rounded (ties to
// even): value ~= digits x 10^(exponent - 16), 10^16 <= digits < 10^17.
struct Digits17 {
  std::uint64_t digits = 0;
  int exponent = 0;
};

// Exact integer arithmetic; covers 1e-6 <= value < 1e38. False elsewhere.
bool digits17_exact(double magnitude, Digits17& result);
// Through std::to_chars: any positive finite value, subnormals included.
Digits17 digits17_reference(double magnitude);

}  // namespace detail
}  // namespace plotveil
