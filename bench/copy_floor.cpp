// The floor a grid job is measured against: reads two input files to their end
// and writes an output of a given size, all in plain 1 MiB blocks and with no
// work per byte. The output's bytes are taken from the inputs' blocks.
//
// Usage: copy_floor INPUT_1 INPUT_2 OUTPUT OUTPUT_BYTES

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr std::size_t kBlock = 1 << 20;

[[noreturn]] void die(const char* what, const char* path) {
  std::printf("copy_floor: %s %s\n", what, path);
  std::exit(1);
}

std::FILE* open_unbuffered(const char* path, const char* mode) {
  std::FILE* file = std::fopen(path, mode);
  if (file == nullptr) die("cannot open", path);
  // Every block goes to the system in one call.
  std::setvbuf(file, nullptr, _IONBF, 0);
  return file;
}

}  // namespace

int main(int argc, char** argv) {
  char* end = nullptr;
  const unsigned long long out_bytes = argc == 5 ? std::strtoull(argv[4], &end, 10) : 0;
  if (argc != 5 || end == argv[4] || *end != '\0') {
    std::printf("usage: copy_floor INPUT_1 INPUT_2 OUTPUT OUTPUT_BYTES\n");
    return 1;
  }
  std::FILE* in[2] = {open_unbuffered(argv[1], "rb"), open_unbuffered(argv[2], "rb")};
  std::FILE* out = open_unbuffered(argv[3], "wb");
  std::unique_ptr<char[]> block[2] = {std::make_unique<char[]>(kBlock), std::make_unique<char[]>(kBlock)};
  bool open[2] = {true, true};
  std::uint64_t left = out_bytes;

  // Both inputs advance together, as a row loop reads them, and the output
  // follows block by block.
  while (open[0] || open[1] || left > 0) {
    for (int i = 0; i < 2; ++i) {
      if (!open[i]) continue;
      const std::size_t got = std::fread(block[i].get(), 1, kBlock, in[i]);
      if (got < kBlock) {
        if (std::ferror(in[i])) die("cannot read", argv[1 + i]);
        open[i] = false;
      }
    }
    const std::size_t chunk = left < kBlock ? static_cast<std::size_t>(left) : kBlock;
    if (chunk > 0 && std::fwrite(block[0].get(), 1, chunk, out) != chunk) die("cannot write", argv[3]);
    left -= chunk;
  }
  std::fclose(in[0]);
  std::fclose(in[1]);
  if (std::fclose(out) != 0) die("cannot write", argv[3]);
  return 0;
}
