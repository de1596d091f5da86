#include "text_model.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace plotveil_fuzz {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool is_text_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

ModelRead model_read(const char* data, std::size_t size, std::size_t pos) {
  ModelRead m;
  while (pos < size && is_text_space(data[pos])) ++pos;
  m.start = m.next = pos;
  if (pos == size) return m;
  std::size_t p = pos;
  if (data[p] == '+' || data[p] == '-') ++p;
  std::size_t digits = 0;
  while (p < size && is_digit(data[p])) ++p, ++digits;
  if (p < size && data[p] == '.') {
    ++p;
    while (p < size && is_digit(data[p])) ++p, ++digits;
  }
  if (digits == 0) {
    // The sign and the point read so far are consumed; the stopper stays.
    m.next = p;
    return m;
  }
  std::size_t strict_end = p;
  if (p < size && (data[p] == 'e' || data[p] == 'E')) {
    std::size_t q = p + 1;
    if (q < size && (data[q] == '+' || data[q] == '-')) ++q;
    std::size_t r = q;
    while (r < size && is_digit(data[r])) ++r;
    strict_end = r > q ? r : p;
    p = r;
  }
  std::string token(data + pos, strict_end - pos);
  char* stop = nullptr;
  m.value = std::strtod(token.c_str(), &stop);
  // The token matches strtod's own syntax, so strtod takes it whole.
  if (stop != token.c_str() + token.size()) std::abort();
  m.ok = true;
  m.next = p;
  return m;
}

bool model_skip_word(const char* data, std::size_t size, std::size_t& pos) {
  while (pos < size && is_text_space(data[pos])) ++pos;
  if (pos == size) return false;
  while (pos < size && !is_text_space(data[pos])) ++pos;
  return true;
}

Reference reference_text(double v) {
  Reference ref;
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
  const bool negative = (bits >> 63) != 0;
  const std::string sign = negative ? "-" : "";
  if (std::isnan(v)) {
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    const std::uint64_t quiet = std::uint64_t{1} << 51;
    if (negative && fraction == quiet) {
      ref.text = "-1.#IND";
    } else {
      ref.text = sign + ((fraction & quiet) != 0 ? "1.#QNAN" : "1.#SNAN");
    }
    return ref;
  }
  if (std::isinf(v)) {
    ref.text = sign + "1.#INF";
    return ref;
  }
  if (v == 0) {
    ref.text = sign + "0";
    return ref;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.16e", std::fabs(v));
  // d.dddddddddddddddde+XX
  std::string digits = std::string(1, buf[0]) + std::string(buf + 2, 16);
  int exponent = std::atoi(buf + 19);
  long six = std::atol(digits.substr(0, 6).c_str());
  if (digits[6] >= '5') ++six;
  if (six == 1000000) {
    six = 100000;
    ++exponent;
  }
  std::string d = std::to_string(six);
  auto strip = [](std::string s) {
    if (s.find('.') == std::string::npos) return s;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
  };
  std::string body;
  if (exponent < -4 || exponent >= 6) {
    char e[16];
    std::snprintf(e, sizeof e, "e%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
    body = strip(d.substr(0, 1) + "." + d.substr(1)) + e;
  } else if (exponent >= 0) {
    body = strip(d.substr(0, static_cast<std::size_t>(exponent) + 1) + "." +
                 d.substr(static_cast<std::size_t>(exponent) + 1));
  } else {
    body = strip("0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + d);
  }
  ref.text = sign + body;
  ref.finite_nonzero = true;
  std::string exact = sign + d + "e" + std::to_string(exponent - 5);
  ref.rounded = std::strtod(exact.c_str(), nullptr);
  return ref;
}

}  // namespace plotveil_fuzz
