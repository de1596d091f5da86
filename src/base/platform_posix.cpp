// Linux and other POSIX systems: files are descriptors, names are bytes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include "base/platform.hpp"

namespace plotveil::platform {
namespace {

FileIdentity identity_of(const struct stat& info) {
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

bool has_nul(const std::string& name) { return name.find('\0') != std::string::npos; }

// Opened without waiting for the other end of a FIFO (or a device's line);
// once the type is known, reads and writes wait again as usual.
bool clear_nonblocking(int fd) {
  int flags = ::fcntl(fd, F_GETFL);
  return flags != -1 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != -1;
}

}  // namespace

File open_for_reading(const std::string& name, FileIdentity& identity) {
  if (has_nul(name)) return kNoFile;
  int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return kNoFile;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !clear_nonblocking(fd)) {
    ::close(fd);
    return kNoFile;
  }
  identity = identity_of(info);
  return fd;
}

File create_for_writing(const std::string& name) {
  if (has_nul(name)) return kNoFile;
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return kNoFile;
  if (!clear_nonblocking(fd)) {
    ::close(fd);
    return kNoFile;
  }
  return fd;
}

bool can_seek(File file) { return ::lseek(static_cast<int>(file), 0, SEEK_CUR) != -1; }

std::optional<FileIdentity> identify(const std::string& name) {
  struct stat info {};
  if (has_nul(name) || ::stat(name.c_str(), &info) != 0) return std::nullopt;
  return identity_of(info);
}

std::size_t entry_name_start(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

bool same_entry_name(const std::string& first, const std::string& second) { return first == second; }

bool remove_file(const std::string& name) { return !has_nul(name) && ::unlink(name.c_str()) == 0; }

std::optional<std::uint64_t> file_size(File file) {
  struct stat info {};
  if (::fstat(static_cast<int>(file), &info) != 0 || info.st_size < 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

bool entry_exists(const std::string& name) {
  struct stat info {};
  if (has_nul(name)) return false;
  // An entry that cannot even be looked at is taken to be there.
  return ::lstat(name.c_str(), &info) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

std::int64_t read_file(File file, void* destination, std::size_t count) {
  for (;;) {
    ssize_t got = ::read(static_cast<int>(file), destination, count);
    if (got >= 0 || errno != EINTR) return got;
  }
}

std::int64_t write_file(File file, const void* source, std::size_t count) {
  for (;;) {
    ssize_t put = ::write(static_cast<int>(file), source, count);
    if (put >= 0 || errno != EINTR) return put;
  }
}

bool seek_file(File file, std::uint64_t offset) {
  const off_t target = static_cast<off_t>(offset);
  return ::lseek(static_cast<int>(file), target, SEEK_SET) == target;
}

bool is_regular_file(File file) {
  struct stat info {};
  return ::fstat(static_cast<int>(file), &info) == 0 && S_ISREG(info.st_mode);
}

std::int64_t read_file_at(File file, void* destination, std::size_t count, std::uint64_t offset) {
  for (;;) {
    ssize_t got = ::pread(static_cast<int>(file), destination, count, static_cast<off_t>(offset));
    if (got >= 0 || errno != EINTR) return got;
  }
}

std::int64_t write_file_at(File file, const void* source, std::size_t count, std::uint64_t offset) {
  for (;;) {
    ssize_t put = ::pwrite(static_cast<int>(file), source, count, static_cast<off_t>(offset));
    if (put >= 0 || errno != EINTR) return put;
  }
}

bool truncate_file(File file, std::uint64_t size) {
  for (;;) {
    if (::ftruncate(static_cast<int>(file), static_cast<off_t>(size)) == 0) return true;
    if (errno != EINTR) return false;
  }
}

bool close_file(File file) { return ::close(static_cast<int>(file)) == 0; }

bool is_terminal(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }

void write_console(std::FILE* stream, std::string_view text, bool) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

AnswerLine read_console_line(std::FILE* stream) { return read_byte_line(stream, kMaxAnswerCharacters); }

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

void ignore_lost_readers() { ::signal(SIGPIPE, SIG_IGN); }

bool replace_entry(const std::string& from, const std::string& to) {
  return !has_nul(from) && !has_nul(to) && ::rename(from.c_str(), to.c_str()) == 0;
}

std::vector<std::string> command_line(int argc, char** argv) { return {argv, argv + argc}; }

}  // namespace plotveil::platform
