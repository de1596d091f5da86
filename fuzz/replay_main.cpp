// Runs a fuzz target over saved inputs without the fuzzing engine: every
// regular file of the folders (or the files) named on the command line, in name
// order. A fault aborts; otherwise prints how many inputs ran and returns 0.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    fs::path place(argv[i]);
    std::error_code error;
    if (fs::is_directory(place, error)) {
      for (const auto& entry : fs::directory_iterator(place)) {
        if (entry.is_regular_file()) inputs.push_back(entry.path());
      }
    } else if (fs::is_regular_file(place, error)) {
      inputs.push_back(place);
    } else {
      std::printf("no inputs at %s\n", argv[i]);
      return 1;
    }
  }
  std::sort(inputs.begin(), inputs.end());
  for (const fs::path& path : inputs) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // An empty vector's data() may be null; the targets expect a valid pointer.
    bytes.reserve(1);
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("replayed %zu inputs\n", inputs.size());
  return 0;
}
