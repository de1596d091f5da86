// Everything the tool says goes to standard output through here. When standard
// output is a terminal each print is flushed at once, so a progress dot shows as
// its row finishes and the prompt shows before the answer is read; redirected,
// standard output stays buffered.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "base/platform.hpp"

namespace plotveil {

[[gnu::format(printf, 1, 2)]] void console_print(const char* format, ...);
void console_vprint(const char* format, std::va_list args);
// Writes the bytes as they are: names may hold any byte, "%" included.
void console_write(std::string_view text);
// Writes `count` copies of `c`, in blocks.
void console_write_repeated(char c, std::uint64_t count);
void console_flush();

// Reads one answer line from standard input: the bytes up to the first line
// feed, which is consumed and not kept (a CR before it stays, except on
// Windows, where CR LF ends a line). Says so when standard input ends before
// any byte was read, or when the line is longer than any name the tool takes.
platform::AnswerLine console_read_line();

// A standard stream the tool was started without is opened on the null
// device, so that no file the run opens takes its place: the prompt would
// otherwise read an input grid, and messages would land in the output grid.
void guard_standard_streams();

// Tests redirect the console into a stream of their own.
void set_console_streams(std::FILE* out, std::FILE* in);

}  // namespace plotveil
