// Files with given bytes, for tests that need a real stream.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace plotveil::testing {

class TempFile {
 public:
  explicit TempFile(std::string_view bytes) {
    char pattern[] = "/tmp/plotveil_unit_XXXXXX";
    int fd = ::mkstemp(pattern);
    path_ = pattern;
    std::size_t done = 0;
    while (fd >= 0 && done < bytes.size()) {
      ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (put <= 0) break;
      done += static_cast<std::size_t>(put);
    }
    if (fd >= 0) ::close(fd);
  }
  ~TempFile() { ::unlink(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace plotveil::testing
