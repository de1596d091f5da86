// What differs between the systems the tool runs on: files, the standard
// streams and the command line. One implementation per system
// (platform_posix.cpp, platform_win32.cpp); the build compiles one of them.
// Names are UTF-8 everywhere above this layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plotveil::platform {

// An open file: a descriptor, or a Windows handle.
using File = std::intptr_t;
inline constexpr File kNoFile = -1;

// What makes a file the same file whatever path names it: device and inode,
// or volume serial number and file index.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
};

// Opens an existing regular file for reading, binary. kNoFile when it cannot be
// opened or is a folder, a device or a pipe.
File open_for_reading(const std::string& name, FileIdentity& identity);

// Creates the file, or empties an existing one, for writing, binary.
File create_for_writing(const std::string& name);

// The identity of the existing file `name` designates; nothing when it
// designates none.
std::optional<FileIdentity> identify(const std::string& name);

// True when `name` designates the file of `identity`, through any link or
// spelling of the path: the one rule by which both programs tell that two
// names are the same file.
inline bool names_file(const std::string& name, const FileIdentity& identity) {
  const std::optional<FileIdentity> found = identify(name);
  return found && *found == identity;
}

// Removes the file `name`; false when it cannot.
bool remove_file(const std::string& name);

// The size in bytes of an open file; nothing when the system does not say.
std::optional<std::uint64_t> file_size(File file);

// One read of at most `count` bytes: the bytes read, 0 at the end of the file,
// -1 on failure. Retries interrupted calls.
std::int64_t read_file(File file, void* destination, std::size_t count);

// One write of at most `count` bytes: the bytes written, -1 on failure.
std::int64_t write_file(File file, const void* source, std::size_t count);

// Positions at `offset` from the start of the file (64 bits: grids pass 4 GiB).
bool seek_file(File file, std::uint64_t offset);

bool close_file(File file);

// True when the stream is an interactive console or terminal.
bool is_terminal(std::FILE* stream);

// Writes text to the console stream: through the C runtime's stream, or on a
// Windows console as the characters the UTF-8 bytes encode.
void write_console(std::FILE* stream, std::string_view text, bool terminal);

// The bytes of `stream` up to the next line feed, which is consumed and not
// kept; nothing when the stream ends before any byte. Both systems' answer
// lines begin as this.
inline std::optional<std::string> read_byte_line(std::FILE* stream) {
  std::string line;
  bool any = false;
  for (;;) {
    int c = std::getc(stream);
    if (c == EOF) break;
    any = true;
    if (c == '\n') break;
    line.push_back(static_cast<char>(c));
  }
  if (!any) return std::nullopt;
  return line;
}

// One answer line from `stream`, without its line end. Nothing when the input
// ends before any byte. On Windows the CR of a CR LF is no part of the answer.
std::optional<std::string> read_console_line(std::FILE* stream);

// A standard stream the tool was started without is opened on the null
// device, so that no file the run opens takes its place: the prompt would
// otherwise read an input grid, and messages would land in the output grid.
void guard_standard_streams();

// The command line's arguments as UTF-8, argument 0 first (on Windows from the
// wide command line, so names in any script arrive whole).
std::vector<std::string> command_line(int argc, char** argv);

}  // namespace plotveil::platform
