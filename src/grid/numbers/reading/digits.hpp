// Digits read eight at a time: the bytes of a chunk are tested and combined
// in one 64-bit register ("SWAR", SIMD within a register), the well-known
// digit parsing technique of the fast number-parsing literature, as
// fast_float and simdjson use it. The scanner (number_scan.hpp) and the
// one-pass conversion (decimal_number.hpp) share them.
#pragma once

#include <bit>
#include <cstdint>

#include "grid/numbers/number_constants.hpp"

namespace plotveil {

namespace detail {

inline bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// How many of the eight bytes, from the first, are digits. Only bytes after the
// first non-digit can be disturbed by the carries, so the count is exact.
inline int leading_digits(std::uint64_t chunk) {
  std::uint64_t flags = ((chunk + every_byte(0x46)) | (chunk - kZeroDigits)) & kHighBits;
  return flags == 0 ? 8 : __builtin_ctzll(flags) >> 3;
}

// The value of the first n (1 to 8) digits of the chunk.
inline std::uint64_t digits_value(std::uint64_t chunk, int n) {
  std::uint64_t v = (chunk - kZeroDigits) << (8 * (8 - n));
  v = (v * 10) + (v >> 8);
  return (((v & 0x000000FF000000FFULL) * 0x000F424000000064ULL) +
          (((v >> 16) & 0x000000FF000000FFULL) * 0x0000271000000001ULL)) >> 32;
}

// Per byte, 0x80 where the byte is not a digit and 0 where it is: exact in
// every byte, as no addition carries into the next.
inline std::uint64_t non_digits(std::uint64_t chunk) {
  const std::uint64_t x = chunk ^ kZeroDigits;  // digits become 0 to 9
  return (((x & kLowBits) + kDigitLimit) | x) & kHighBits;
}

// m (below 2^52) as a double, exactly: m placed in the mantissa of 2^52,
// less 2^52. A conversion instruction would do the same, but on x86-64 it
// keeps the rest of its register from the instruction before, so each cell's
// division would wait for the one before it.
inline double exact_double(std::uint64_t m) {
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(kTwoTo52) | m) - kTwoTo52;
}

}  // namespace detail

}  // namespace plotveil
