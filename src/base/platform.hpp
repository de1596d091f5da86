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
// opened or is a folder, a device or a pipe; no name makes it wait (a FIFO
// without a writer is refused at once).
File open_for_reading(const std::string& name, FileIdentity& identity);

// Creates the file, or empties an existing one, for writing, binary. No name
// makes it wait: a FIFO without a reader cannot be opened.
File create_for_writing(const std::string& name);

// True when the file can be positioned (a pipe or a terminal cannot).
bool can_seek(File file);

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

// Where the last component of `path` begins: after its last folder separator
// ('/', and on Windows '\\' and a drive's ':'); 0 when it names no folder.
std::size_t entry_name_start(const std::string& path);

// True when two names of entries in one folder name the same entry: the same
// bytes, or on Windows the same letters in any case.
bool same_entry_name(const std::string& first, const std::string& second);

// Removes the file `name`; false when it cannot.
bool remove_file(const std::string& name);

// The size in bytes of an open file; nothing when the system does not say.
std::optional<std::uint64_t> file_size(File file);

// True when a directory entry stands under `name`, of any kind and however
// reachable: a file that cannot be read, a link to nothing, a FIFO, a folder.
// Links are not followed.
bool entry_exists(const std::string& name);

// One read of at most `count` bytes: the bytes read, 0 at the end of the file,
// -1 on failure. Retries interrupted calls.
std::int64_t read_file(File file, void* destination, std::size_t count);

// One write of at most `count` bytes: the bytes written, -1 on failure.
std::int64_t write_file(File file, const void* source, std::size_t count);

// Positions at `offset` from the start of the file (64 bits: grids pass 4 GiB).
bool seek_file(File file, std::uint64_t offset);

// True when the file is a regular file on a disk: one that reads and writes
// at any offset, from several threads at once.
bool is_regular_file(File file);

// One read or write at `offset` from the start of a regular file, as
// read_file and write_file count. Threads may call them at once on one file.
// Where the file has a position of its own, it is left undefined: a reader or
// writer that goes on in order seeks first.
std::int64_t read_file_at(File file, void* destination, std::size_t count, std::uint64_t offset);
std::int64_t write_file_at(File file, const void* source, std::size_t count, std::uint64_t offset);

// Cuts a regular file to `size` bytes. False when the system refuses.
bool truncate_file(File file, std::uint64_t size);

bool close_file(File file);

// True when the stream is an interactive console or terminal.
bool is_terminal(std::FILE* stream);

// Writes text to the console stream: through the C runtime's stream, or on a
// Windows console as the characters the UTF-8 bytes encode.
void write_console(std::FILE* stream, std::string_view text, bool terminal);

// The longest answer to the prompt, in characters: the longest path Windows
// takes. A longer answer is refused, so that an endless one (</dev/zero) is
// not read on until memory runs out.
inline constexpr std::size_t kMaxAnswerCharacters = 32767;

// One answer line: its text without the line end, or that the input ended
// before any byte, or that it ran past the longest answer taken.
struct AnswerLine {
  enum class Kind { text, ended, too_long };
  Kind kind = Kind::ended;
  std::string text;
};

// Characters of UTF-8 text: the bytes that do not continue a character.
inline std::size_t utf8_characters(std::string_view text) {
  std::size_t count = 0;
  for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

// The bytes of `stream` up to the next line feed, which is consumed and not
// kept. Reading stops as soon as the line holds more than `most` characters
// (or four times as many bytes): the rest is never read. Both systems' answer
// lines begin as this.
inline AnswerLine read_byte_line(std::FILE* stream, std::size_t most) {
  AnswerLine line;
  std::size_t characters = 0;
  for (;;) {
    int c = std::getc(stream);
    if (c == EOF) break;
    line.kind = AnswerLine::Kind::text;
    if (c == '\n') break;
    characters += (c & 0xC0) != 0x80;
    if (characters > most || line.text.size() >= 4 * most) {
      line.kind = AnswerLine::Kind::too_long;
      line.text.clear();
      break;
    }
    line.text.push_back(static_cast<char>(c));
  }
  return line;
}

// One answer line from `stream`, without its line end, of at most
// kMaxAnswerCharacters characters. On Windows the CR of a CR LF, and a UTF-8
// byte-order mark before the answer, are no part of it.
AnswerLine read_console_line(std::FILE* stream);

// A standard stream the tool was started without is opened on the null
// device, so that no file the run opens takes its place: the prompt would
// otherwise read an input grid, and messages would land in the output grid.
void guard_standard_streams();

// A reader that goes away (a console piped into `head`, a pipe the output
// goes to) makes writes fail instead of ending the process: the grid is the
// product, and a write to it that fails is reported like any other.
void ignore_lost_readers();

// Renames the file `from` to `to` in one step, replacing the entry `to`
// names: a link there is replaced, its target never written. False when the
// system refuses.
bool replace_entry(const std::string& from, const std::string& to);

// The command line's arguments as UTF-8, argument 0 first (on Windows from the
// wide command line, so names in any script arrive whole).
std::vector<std::string> command_line(int argc, char** argv);

}  // namespace plotveil::platform
