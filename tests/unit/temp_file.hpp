// Files with given bytes, for tests that need a real stream.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

namespace plotveil::testing {

class TempFile {
 public:
  explicit TempFile(std::string_view bytes) {
    static std::atomic<unsigned> serial{0};
    const std::string name = "plotveil_unit_" + std::to_string(std::random_device{}()) + "_" +
                             std::to_string(serial++);
    path_ = (std::filesystem::temp_directory_path() / name).string();
    std::ofstream out(path_, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  ~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace plotveil::testing
