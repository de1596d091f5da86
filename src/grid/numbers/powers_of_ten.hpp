// The powers of ten that reading and writing numbers share, from one table.
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

}  // namespace plotveil
