#include "base/console.hpp"

#include <cstring>

#include "base/platform.hpp"

namespace plotveil {
namespace {

std::FILE* g_out = nullptr;
std::FILE* g_in = nullptr;
int g_out_is_terminal = -1;  // unknown until the first print

std::FILE* out() { return g_out != nullptr ? g_out : stdout; }
std::FILE* in() { return g_in != nullptr ? g_in : stdin; }

bool out_is_terminal() {
  if (g_out_is_terminal < 0) g_out_is_terminal = platform::is_terminal(out()) ? 1 : 0;
  return g_out_is_terminal == 1;
}

void flush_if_terminal() {
  if (out_is_terminal()) std::fflush(out());
}

}  // namespace

void guard_standard_streams() { platform::guard_standard_streams(); }

void set_console_streams(std::FILE* out_stream, std::FILE* in_stream) {
  g_out = out_stream;
  g_in = in_stream;
  g_out_is_terminal = -1;
}

void console_vprint(const char* format, std::va_list args) {
  if (!out_is_terminal()) {
    std::vfprintf(out(), format, args);
    return;
  }
  std::va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(nullptr, 0, format, args);
  std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  console_write(text);
}

void console_print(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  console_vprint(format, args);
  va_end(args);
}

void console_write(std::string_view text) {
  const bool terminal = out_is_terminal();
  platform::write_console(out(), text, terminal);
  if (terminal) std::fflush(out());
}

void console_write_repeated(char c, std::uint64_t count) {
  char block[4096];
  std::memset(block, c, sizeof block);
  while (count > 0) {
    std::size_t n = count < sizeof block ? static_cast<std::size_t>(count) : sizeof block;
    std::fwrite(block, 1, n, out());
    count -= n;
  }
  flush_if_terminal();
}

void console_flush() { std::fflush(out()); }

platform::AnswerLine console_read_line() { return platform::read_console_line(in()); }

}  // namespace plotveil
