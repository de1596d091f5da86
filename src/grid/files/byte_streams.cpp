#include "grid/files/byte_streams.hpp"

#include <cstring>
#include <utility>

namespace plotveil {
namespace {

constexpr std::size_t kInputBufferSize = 1 << 20;
constexpr std::size_t kOutputBufferSize = 1 << 20;
// Blocks from this size on go between the file and the caller's memory
// directly, without a copy through the buffer: rows of 2048 doubles and more
// when read, whole buffers' worth when written.
constexpr std::size_t kDirectReadMinimum = 1 << 14;
constexpr std::size_t kDirectMinimum = 1 << 20;

// Writes all bytes unless the system refuses; returns how many were written.
std::size_t write_all(platform::File file, const char* source, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    std::int64_t put = platform::write_file(file, source + done, count - done);
    if (put <= 0) break;
    done += static_cast<std::size_t>(put);
  }
  return done;
}

// A text input's data ends at its first 0x1A byte: the fresh bytes from
// `from` to `end` are cut there, and nothing more is read from the file.
char* cut_at_end_of_text(InStream& in, char* from, char* end) {
  if (!in.text) return end;
  void* mark = std::memchr(from, 0x1A, static_cast<std::size_t>(end - from));
  if (mark == nullptr) return end;
  in.at_end = true;
  return static_cast<char*>(mark);
}

}  // namespace

std::size_t read_at(platform::File file, void* destination, std::size_t count, std::uint64_t offset) {
  char* bytes = static_cast<char*>(destination);
  std::size_t done = 0;
  while (done < count) {
    const std::int64_t got = platform::read_file_at(file, bytes + done, count - done, offset + done);
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

std::size_t write_at(platform::File file, const void* source, std::size_t count, std::uint64_t offset) {
  const char* bytes = static_cast<const char*>(source);
  std::size_t done = 0;
  while (done < count) {
    const std::int64_t put = platform::write_file_at(file, bytes + done, count - done, offset + done);
    if (put <= 0) break;
    done += static_cast<std::size_t>(put);
  }
  return done;
}

InStream::~InStream() { close_input(*this); }

OpenInput open_input(InStream& in, const std::string& name) {
  close_input(in);
  platform::FileIdentity identity;
  platform::File file = platform::open_for_reading(name, identity);
  if (file == platform::kNoFile) return OpenInput::cannot_open;
  in.file = file;
  in.identity = identity;
  in.capacity = kInputBufferSize;
  in.buffer.reset(new char[kInputBufferSize]);
  in.pos = in.end = in.buffer.get();
  in.at_end = false;
  in.text = false;
  in.file_offset = 0;
  return OpenInput::ok;
}

void close_input(InStream& in) {
  if (in.file != platform::kNoFile) platform::close_file(in.file);
  in.file = platform::kNoFile;
}

bool rewind_input(InStream& in, bool text) {
  in.text = text;
  in.pos = in.end = in.buffer.get();
  in.at_end = false;
  in.file_offset = 0;
  return platform::seek_file(in.file, 0);
}

void seek_input(InStream& in, std::uint64_t offset) {
  in.pos = in.end = in.buffer.get();
  in.at_end = false;
  in.file_offset = offset;
}

std::size_t fill_input(InStream& in, std::size_t window) {
  std::size_t held = static_cast<std::size_t>(in.end - in.pos);
  if (held >= window || in.at_end) return held;
  char* base = in.buffer.get();
  if (in.pos != base) {
    std::memmove(base, in.pos, held);
    in.pos = base;
    in.end = base + held;
  }
  while (static_cast<std::size_t>(in.end - in.pos) < window && !in.at_end) {
    std::int64_t got =
        platform::read_file_at(in.file, in.end, in.capacity - static_cast<std::size_t>(in.end - base), in.file_offset);
    if (got <= 0) {
      // A read error ends the data as the end of the file does.
      in.at_end = true;
      break;
    }
    char* const fresh = in.end;
    in.end = cut_at_end_of_text(in, fresh, fresh + got);
    in.file_offset += static_cast<std::uint64_t>(in.end - fresh);
  }
  return static_cast<std::size_t>(in.end - in.pos);
}

std::size_t read_input_direct(InStream& in, char* destination, std::size_t count) {
  char* end = destination;
  while (static_cast<std::size_t>(end - destination) < count && !in.at_end) {
    std::int64_t got =
        platform::read_file_at(in.file, end, count - static_cast<std::size_t>(end - destination), in.file_offset);
    if (got <= 0) {
      in.at_end = true;  // a read error ends the data as the end of the file does
      break;
    }
    char* const fresh = end;
    end = cut_at_end_of_text(in, fresh, fresh + got);
    in.file_offset += static_cast<std::uint64_t>(end - fresh);
  }
  return static_cast<std::size_t>(end - destination);
}

void put_back_input(InStream& in, const char* bytes, std::size_t count) {
  if (in.pos != in.end) {
    // Taken from the buffer (a direct read needs it empty): still there.
    in.pos -= count;
    return;
  }
  std::memcpy(in.buffer.get(), bytes, count);
  in.pos = in.buffer.get();
  in.end = in.pos + count;
}

std::size_t read_input(InStream& in, void* destination, std::size_t count) {
  char* out = static_cast<char*>(destination);
  std::size_t done = 0;
  while (done < count) {
    std::size_t held = static_cast<std::size_t>(in.end - in.pos);
    if (held > 0) {
      std::size_t take = held < count - done ? held : count - done;
      std::memcpy(out + done, in.pos, take);
      in.pos += take;
      done += take;
      continue;
    }
    if (in.at_end) break;
    if (!in.text && count - done >= kDirectReadMinimum) {
      // Large binary blocks go straight to the caller, without a copy.
      done += read_input_direct(in, out + done, count - done);
      break;
    }
    in.pos = in.end = in.buffer.get();
    fill_input(in, 1);
  }
  return done;
}

OutStream::~OutStream() {
  if (file != platform::kNoFile) platform::close_file(file);
}

bool open_output(OutStream& out, const std::string& name) {
  if (!out.buffer) {
    out.buffer.reset(new char[kOutputBufferSize]);
    out.capacity = kOutputBufferSize;
  }
  platform::File file = platform::create_for_writing(name);
  if (file == platform::kNoFile) return false;
  out.file = file;
  out.used = 0;
  out.broken = false;
  out.position = 0;
  out.hand_over = FlushHandOver{};
  return true;
}

bool output_can_seek(const OutStream& out) { return platform::can_seek(out.file); }

bool flush_output(OutStream& out) {
  if (out.hand_over.flush != nullptr) return out.hand_over.flush(out, out.hand_over.context);
  if (out.used == 0) return !out.broken;
  std::size_t put = write_all(out.file, out.buffer.get(), out.used);
  out.position += put;
  if (put < out.used) {
    // Keep what was not written at the front, as a stream buffer does.
    std::memmove(out.buffer.get(), out.buffer.get() + put, out.used - put);
    out.used -= put;
    out.broken = true;
    out.failed_site = out.site;
    return false;
  }
  out.used = 0;
  return !out.broken;
}

bool flush_output_for(OutStream& out, std::size_t count) {
  return flush_output(out) && out.capacity - out.used >= count;
}

std::size_t write_output(OutStream& out, const void* source, std::size_t count) {
  const char* in = static_cast<const char*>(source);
  std::size_t done = 0;
  while (done < count) {
    std::size_t room = out.capacity - out.used;
    if (room == 0) {
      if (!flush_output(out)) return done;
      continue;
    }
    if (count - done >= kDirectMinimum && out.hand_over.flush == nullptr) {
      if (out.used > 0 && !flush_output(out)) return done;
      std::size_t put = write_all(out.file, in + done, count - done);
      out.position += put;
      done += put;
      if (done < count) {
        out.broken = true;
        return done;
      }
      break;
    }
    std::size_t take = room < count - done ? room : count - done;
    std::memcpy(out.buffer.get() + out.used, in + done, take);
    out.used += take;
    done += take;
  }
  return done;
}

bool seek_output(OutStream& out, std::uint64_t offset) {
  if (!flush_output(out)) return false;
  out.position = offset;
  return platform::seek_file(out.file, offset);
}

bool close_output(OutStream& out) {
  bool flushed = flush_output(out);
  platform::File file = std::exchange(out.file, platform::kNoFile);
  bool closed = file == platform::kNoFile || platform::close_file(file);
  return flushed && closed;
}

}  // namespace plotveil
