#include "grid/numbers/reading/number_scan.hpp"

#include <bit>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "grid/numbers/number_constants.hpp"
#include "grid/numbers/reading/decimal_number.hpp"

namespace plotveil {
namespace {

using detail::is_digit;

}  // namespace

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
  // The first 19 digits, and whether any after them is not 0.
  const int taken = significant_ < 19 ? significant_ : 19;
  bool nonzero_left = nonzero_dropped_;
  for (int i = taken; i < significant_ && !nonzero_left; ++i) nonzero_left = digits_[i] != '0';
  double v = 0;
  if (detail::settle_decimal(mantissa_, power + (significant_ - taken), nonzero_left, v)) return negative_ ? -v : v;
  // The rare rest: strtod over a bounded, normalised copy of the digits.
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
  text[n++] = 'e';
  char* end = std::to_chars(text + n, text + sizeof text - 1, power).ptr;
  *end = '\0';
  return std::strtod(text, nullptr);
}

}  // namespace plotveil
