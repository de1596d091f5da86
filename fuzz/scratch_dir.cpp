#include "scratch_dir.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace plotveil_fuzz {
namespace {

struct ScratchDir {
  std::string path;

  ScratchDir() {
    const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/plotveil-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::printf("cannot create a scratch folder under %s\n", base);
      std::abort();
    }
    path = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace

const std::string& scratch_dir() {
  static ScratchDir dir;
  return dir.path;
}

std::string scratch_path(const char* name) { return scratch_dir() + "/" + name; }

void write_scratch_file(const std::string& path, const void* data, std::size_t size) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::printf("cannot write %s\n", path.c_str());
    std::abort();
  }
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t put = ::write(fd, p, size);
    if (put <= 0) {
      std::printf("cannot write %s\n", path.c_str());
      std::abort();
    }
    p += put;
    size -= static_cast<std::size_t>(put);
  }
  ::close(fd);
}

}  // namespace plotveil_fuzz
