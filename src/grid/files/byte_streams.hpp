// Buffered streams over files: one for reading an input grid, one for writing
// the output grid. Both move whole blocks; nothing here locks or allocates per
// call. An input is read at its own offsets, never at the file's position, so
// that worker threads may read other parts of the file meanwhile. Files are bytes on every system: text grids handle CR LF themselves,
// and a text input stops its data at the first 0x1A byte (`text` mode).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/platform.hpp"

namespace plotveil {

struct InStream {
  platform::File file = platform::kNoFile;
  bool text = false;     // data ends at the first 0x1A byte
  bool at_end = false;   // no more bytes will come from the file
  std::unique_ptr<char[]> buffer;
  std::size_t capacity = 0;
  char* pos = nullptr;   // next unread byte
  char* end = nullptr;   // one past the last buffered byte
  std::uint64_t file_offset = 0;  // where in the file the bytes taken from it end
  platform::FileIdentity identity;  // the same file whatever path names it

  InStream() = default;
  InStream(const InStream&) = delete;
  InStream& operator=(const InStream&) = delete;
  ~InStream();
};

enum class OpenInput { ok, cannot_open };

// Opens a regular file for reading from its start. Directories, devices and
// pipes count as "cannot open".
OpenInput open_input(InStream& in, const std::string& name);
void close_input(InStream& in);

// Back to byte 0, buffer emptied; `text` chooses how the data ends from now on.
bool rewind_input(InStream& in, bool text);

// Back to `offset` from the file's start, buffer emptied, the data going on
// to its end as before.
void seek_input(InStream& in, std::uint64_t offset);

// Where in the file the next unread byte lies.
inline std::uint64_t input_offset(const InStream& in) {
  return in.file_offset - static_cast<std::uint64_t>(in.end - in.pos);
}

// Refills so that at least `window` bytes are buffered, unless the file ends
// first. Keeps the unread bytes. Returns the number of bytes buffered.
std::size_t fill_input(InStream& in, std::size_t window);

// Reads up to `count` bytes into `destination`; fewer only at the end of data.
std::size_t read_input(InStream& in, void* destination, std::size_t count);

// The buffered bytes not read yet (as many as fill_input returned), and
// taking `count` of them as read.
inline const char* input_bytes(const InStream& in) { return in.pos; }
inline void consume_input(InStream& in, std::size_t count) { in.pos += count; }
inline std::size_t buffered_input(const InStream& in) { return static_cast<std::size_t>(in.end - in.pos); }

// With nothing buffered: reads up to `count` bytes of the data straight from
// the file into `destination`, without a copy through the buffer, ending the
// data where fill_input would. Returns how many; fewer only at its end.
std::size_t read_input_direct(InStream& in, char* destination, std::size_t count);

// The last `count` bytes taken (consumed or read directly; a copy of them at
// `bytes`, at most the capacity) are the next to read again.
void put_back_input(InStream& in, const char* bytes, std::size_t count);

// Where the writing stands when a flush is made: the row, and for a single
// row written cell by cell the first cell not taken (else 0). A failed flush
// is reported with the place it was made at.
struct FlushSite {
  std::int64_t row = 0;
  std::int64_t column = 0;
};

struct OutStream;

// Flushes handed to other threads (grid/pipeline/write_behind.hpp): while
// set, a flush hands the buffer over instead of writing it, and a finished
// row's dot waits there for the writes made before it.
struct FlushHandOver {
  bool (*flush)(OutStream& out, void* context) = nullptr;
  void (*row_done)(void* context) = nullptr;
  void* context = nullptr;
};

// All `count` bytes at `offset` of a regular file, from threads at once:
// fewer only where the file ends or the system refuses. Return how many.
std::size_t read_at(platform::File file, void* destination, std::size_t count, std::uint64_t offset);
std::size_t write_at(platform::File file, const void* source, std::size_t count, std::uint64_t offset);

struct OutStream {
  platform::File file = platform::kNoFile;
  std::unique_ptr<char[]> buffer;
  std::size_t capacity = 0;
  std::size_t used = 0;
  bool broken = false;   // a write has failed; later flushes are attempted anyway
  std::uint64_t position = 0;  // where in the file the buffer's first byte goes
  FlushSite site;              // set by the writer of rows
  FlushSite failed_site;       // where the flush that failed was made
  FlushHandOver hand_over;

  OutStream() = default;
  OutStream(const OutStream&) = delete;
  OutStream& operator=(const OutStream&) = delete;
  ~OutStream();
};

// Creates or empties the file, like fopen with "w". The buffer is taken
// first, so a run without the memory for it leaves an existing file as it was.
bool open_output(OutStream& out, const std::string& name);

// True when the output can go back to its start (a pipe cannot).
bool output_can_seek(const OutStream& out);

// Writes out everything buffered (or hands it over). False when the system
// refused bytes; `failed_site` then says where the failed flush was made.
bool flush_output(OutStream& out);

// A row's bytes are all in the stream: its dot, now or once the writes
// handed over before it are known to have succeeded.
inline void row_done(OutStream& out, void (*dot)()) {
  if (out.hand_over.row_done != nullptr) {
    out.hand_over.row_done(out.hand_over.context);
  } else {
    dot();
  }
}

// Copies `count` bytes in; returns how many were taken before a failed flush.
std::size_t write_output(OutStream& out, const void* source, std::size_t count);

// Flushes so that `count` bytes (count <= capacity / 2) are free after those
// buffered; false when the flush failed.
bool flush_output_for(OutStream& out, std::size_t count);

// The free bytes after those buffered: where they begin, and in `room` how
// many there are.
inline char* output_space(OutStream& out, std::size_t& room) {
  room = out.capacity - out.used;
  return out.buffer.get() + out.used;
}

// The first `count` bytes at output_space() now hold data.
inline void commit_output(OutStream& out, std::size_t count) { out.used += count; }

// Flushes, then positions the file at `offset` from its start.
bool seek_output(OutStream& out, std::uint64_t offset);

// Flushes and closes. False when either fails.
bool close_output(OutStream& out);

}  // namespace plotveil
