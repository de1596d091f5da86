#include "grid/numbers/number_scan.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "grid/numbers/powers_of_ten.hpp"

namespace plotveil {
namespace {

constexpr std::int64_t kExponentCap = 1'000'000'000;

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

}  // namespace

const char* scan_plain_number(const char* p, const char* limit, double& value) {
  bool negative = false;
  if (p < limit && (*p == '-' || *p == '+')) negative = *p++ == '-';
  std::uint64_t m = 0;
  const char* digits = p;
  p = take_digits(p, limit, m);
  std::ptrdiff_t whole = p - digits;
  std::ptrdiff_t fraction = 0;
  if (p < limit && *p == '.') {
    const char* first = ++p;
    p = take_digits(p, limit, m);
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
  return p;
}

void NumberScanner::add_digit(char c, bool in_fraction) {
  if (significant_ == 0 && c == '0') {
    // A leading zero only moves the point.
    if (in_fraction) --shift_;
    return;
  }
  if (significant_ < kMaxDigits) {
    if (significant_ < 19) mantissa_ = mantissa_ * 10 + static_cast<std::uint64_t>(c - '0');
    digits_[significant_++] = c;
    if (in_fraction) --shift_;
  } else {
    if (c != '0') nonzero_dropped_ = true;
    if (!in_fraction) ++shift_;
  }
}

const char* NumberScanner::feed(const char* p, const char* limit) {
  while (p < limit) {
    switch (phase_) {
      case Phase::start:
        if (*p == '+' || *p == '-') {
          negative_ = *p == '-';
          phase_ = Phase::after_sign;
          ++p;
          continue;
        }
        [[fallthrough]];
      case Phase::after_sign:
        if (is_digit(*p)) {
          phase_ = Phase::integer;
        } else if (*p == '.') {
          phase_ = Phase::after_point;
          ++p;
        } else {
          phase_ = Phase::failed;
          return p;
        }
        continue;
      case Phase::after_point:
        // A point with no digit before it needs one after it.
        if (!is_digit(*p)) {
          phase_ = Phase::failed;
          return p;
        }
        phase_ = Phase::fraction;
        continue;
      case Phase::integer:
        while (p < limit && is_digit(*p)) add_digit(*p++, false);
        if (p == limit) return p;
        if (*p == '.') {
          phase_ = Phase::fraction;
          ++p;
          continue;
        }
        if (*p == 'e' || *p == 'E') {
          phase_ = Phase::exponent_mark;
          ++p;
          continue;
        }
        phase_ = Phase::finished;
        return p;
      case Phase::fraction:
        while (p < limit && is_digit(*p)) add_digit(*p++, true);
        if (p == limit) return p;
        if (*p == 'e' || *p == 'E') {
          phase_ = Phase::exponent_mark;
          ++p;
          continue;
        }
        phase_ = Phase::finished;
        return p;
      case Phase::exponent_mark:
        if (*p == '+' || *p == '-') {
          exponent_negative_ = *p == '-';
          ++p;
        }
        phase_ = Phase::exponent;
        continue;
      case Phase::exponent:
        while (p < limit && is_digit(*p)) {
          if (exponent_ < kExponentCap) exponent_ = exponent_ * 10 + (*p - '0');
          ++p;
        }
        if (p == limit) return p;
        phase_ = Phase::finished;
        return p;
      case Phase::finished:
      case Phase::failed:
        return p;
    }
  }
  return p;
}

void NumberScanner::finish() {
  switch (phase_) {
    case Phase::start:
    case Phase::after_sign:
    case Phase::after_point:
      phase_ = Phase::failed;
      break;
    case Phase::failed:
      break;
    default:
      phase_ = Phase::finished;
  }
}

double NumberScanner::value() const {
  if (significant_ == 0) return negative_ ? -0.0 : 0.0;
  std::int64_t exponent = exponent_negative_ ? -exponent_ : exponent_;
  std::int64_t power = shift_ + exponent;
  if (significant_ <= 19 && mantissa_ <= (std::uint64_t{1} << 53) && power >= -22 && power <= 22) {
    // Both operands are exact, so the one rounding of * or / is the correct one.
    double m = static_cast<double>(mantissa_);
    double v = power >= 0 ? m * kExactPowersOfTen.p[power] : m / kExactPowersOfTen.p[-power];
    return negative_ ? -v : v;
  }
  // Hard cases go to strtod over a bounded, normalised copy of the digits.
  char text[kMaxDigits + 40];
  int n = 0;
  if (negative_) text[n++] = '-';
  for (int i = 0; i < significant_; ++i) text[n++] = digits_[i];
  if (nonzero_dropped_) {
    // Decides a rounding that sits exactly between two doubles.
    text[n++] = '1';
    --power;
  }
  if (power > kExponentCap) power = kExponentCap;
  if (power < -kExponentCap) power = -kExponentCap;
  std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "e%lld",
                static_cast<long long>(power));
  return std::strtod(text, nullptr);
}

}  // namespace plotveil
