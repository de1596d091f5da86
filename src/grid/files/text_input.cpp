#include "grid/files/text_input.hpp"

#include "grid/numbers/reading/decimal_number.hpp"
#include "grid/numbers/reading/number_scan.hpp"
#include "grid/numbers/reading/white_space.hpp"

namespace plotveil {
namespace {

// Enough for any number a grid writer produces to lie whole in the buffer, so
// the usual scan runs in one piece.
constexpr std::size_t kNumberWindow = 128;

// Skips white space; false when the data ends first.
bool skip_space(InStream& in) {
  for (;;) {
    char* p = in.pos;
    char* end = in.end;
    while (p < end && is_text_space(*p)) ++p;
    in.pos = p;
    if (p < end) return true;
    if (fill_input(in, 1) == 0) return false;
  }
}

}  // namespace

bool read_number(InStream& in, double& destination) {
  if (!skip_space(in)) return false;
  if (static_cast<std::size_t>(in.end - in.pos) < kNumberWindow) fill_input(in, kNumberWindow);
  if (const char* stop = scan_decimal(in.pos, in.end, destination)) {
    in.pos = const_cast<char*>(stop);
    return true;
  }
  NumberScanner scanner;
  in.pos = const_cast<char*>(scanner.feed(in.pos, in.end));
  while (!scanner.done()) {
    // The number runs on past the buffered bytes.
    if (fill_input(in, 1) == 0) {
      scanner.finish();
      break;
    }
    in.pos = const_cast<char*>(scanner.feed(in.pos, in.end));
  }
  if (!scanner.succeeded()) return false;
  destination = scanner.value();
  return true;
}

bool at_word_end(InStream& in) { return fill_input(in, 1) == 0 || is_text_space(*input_bytes(in)); }

bool skip_word(InStream& in) {
  std::size_t length = 0;
  return read_word(in, nullptr, 0, length);
}

bool read_word(InStream& in, char* word, std::size_t capacity, std::size_t& length) {
  length = 0;
  if (!skip_space(in)) return false;
  for (;;) {
    char* p = in.pos;
    char* end = in.end;
    while (p < end && !is_text_space(*p)) {
      if (length + 1 < capacity) word[length] = *p;
      ++length;
      ++p;
    }
    in.pos = p;
    if (p < end || fill_input(in, 1) == 0) break;
  }
  if (capacity > 0) word[length < capacity ? length : capacity - 1] = '\0';
  return true;
}

bool next_word_is_number(InStream& in) {
  if (!skip_space(in)) return false;
  const char c = *in.pos;
  return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

}  // namespace plotveil
