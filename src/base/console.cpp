#include "base/console.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace plotveil {
namespace {

std::FILE* g_out = nullptr;
std::FILE* g_in = nullptr;
int g_out_is_terminal = -1;  // unknown until the first print

std::FILE* out() { return g_out != nullptr ? g_out : stdout; }
std::FILE* in() { return g_in != nullptr ? g_in : stdin; }

void flush_if_terminal() {
  if (g_out_is_terminal < 0) g_out_is_terminal = isatty(fileno(out())) ? 1 : 0;
  if (g_out_is_terminal == 1) std::fflush(out());
}

}  // namespace

void guard_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) continue;
    int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

void set_console_streams(std::FILE* out_stream, std::FILE* in_stream) {
  g_out = out_stream;
  g_in = in_stream;
  g_out_is_terminal = -1;
}

void console_vprint(const char* format, std::va_list args) {
  std::vfprintf(out(), format, args);
  flush_if_terminal();
}

void console_print(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  console_vprint(format, args);
  va_end(args);
}

void console_write(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), out());
  flush_if_terminal();
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

std::optional<std::string> console_read_line() {
  std::string line;
  bool any = false;
  for (;;) {
    int c = std::getc(in());
    if (c == EOF) break;
    any = true;
    if (c == '\n') break;
    line.push_back(static_cast<char>(c));
  }
  if (!any) return std::nullopt;
  return line;
}

}  // namespace plotveil
