// A whole run of the tool in process, on grids made of the input bytes.
//
// The input is grid_1, then optionally the separator and grid_2, then
// optionally the separator again and the "-f:" option text. Without a grid_2
// the mask is a second file holding grid_1's bytes, so that a mutated grid
// still passes the header comparison and reaches the rows. The output goes to a
// scratch file, standard input is empty (the prompt can never wait) and the
// tool's failure exit throws back to here.
//
// Beyond crashes, leaks and undefined behaviour, a run must end with one of the
// tool's exit codes and, except on success, one message ending in a line feed;
// a write can never fail on the scratch folder (codes 4 and 6); a completed run
// prints one dot per row and a line feed, and a binary output holds exactly
// (12 + rows x W) values. When both inputs and the output are binary, the
// output file must equal, byte for byte, a plain model of the masking and the
// statistics.
#include <sys/resource.h>
#include <sys/stat.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "app/run.hpp"
#include "base/console.hpp"
#include "base/failure.hpp"
#include "grid/byte_streams.hpp"
#include "grid/encoding.hpp"
#include "grid/header.hpp"
#include "scratch_dir.hpp"

namespace {

constexpr std::string_view kSeparator = "~~~~";

// Zero-width rows read nothing, so their count is not bounded by the input:
// the tool prints a dot for each of up to 2^31 rows. Such runs are skipped.
constexpr std::int64_t kMaxEmptyRows = 100000;

#if defined(__SANITIZE_ADDRESS__)
#define PLOTVEIL_FUZZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PLOTVEIL_FUZZ_ASAN 1
#endif
#endif

#ifdef PLOTVEIL_FUZZ_ASAN
// The address sanitizer writes the shadow of every freed block, so a row buffer
// reserved for two billion cells costs gigabytes and a minute there, though the
// tool itself never touches it. Wider rows are left to the plain build.
constexpr std::int32_t kMaxWidth = 1 << 20;
#else
constexpr std::int32_t kMaxWidth = INT32_MAX;
// Without the sanitizer the process's real memory is checked: row buffers for
// a promised width must cost nothing until data fills them.
constexpr long kMaxResidentKb = 512 * 1024;
#endif

struct ToolExit {
  int code;
};

void throw_exit(int code) { throw ToolExit{code}; }

[[noreturn]] void fault(const char* what, std::string_view detail) {
  std::printf("FAULT: %s [%.*s]\n", what, static_cast<int>(detail.size()), detail.data());
  std::fflush(stdout);
  std::abort();
}

struct Parts {
  std::string_view first, second, option;
  bool has_option = false;
};

Parts split(std::string_view data) {
  Parts parts;
  std::size_t cut = data.find(kSeparator);
  if (cut == std::string_view::npos) {
    parts.first = parts.second = data;
    return parts;
  }
  parts.first = data.substr(0, cut);
  std::string_view rest = data.substr(cut + kSeparator.size());
  std::size_t cut2 = rest.find(kSeparator);
  parts.second = rest.substr(0, cut2);
  if (cut2 != std::string_view::npos) {
    parts.option = rest.substr(cut2 + kSeparator.size());
    parts.option = parts.option.substr(0, parts.option.find('\0'));
    if (parts.option.size() > 64) parts.option = parts.option.substr(0, 64);
    parts.has_option = true;
  }
  return parts;
}

// grid_1's header as the run will see it, or nothing when the run cannot get
// that far on grid_1 alone.
struct FirstGrid {
  bool known = false;
  plotveil::GridSize size;
};

FirstGrid read_first_grid(const std::string& path, std::FILE* sink) {
  FirstGrid result;
  plotveil::set_console_streams(sink, sink);
  try {
    plotveil::InStream in;
    if (plotveil::open_input(in, path) != plotveil::OpenInput::ok) return result;
    plotveil::GridEncoding encoding = plotveil::detect_encoding(in, path);
    plotveil::GridHeader header;
    plotveil::read_header(in, encoding, path, header);
    result.size = plotveil::check_grid_size(header, path);
    result.known = true;
  } catch (const ToolExit&) {
  }
  return result;
}

bool is_tool_exit_code(int code) {
  switch (code) {
    case 1: case 2: case 4: case 5: case 6: case 98: return true;
    default: return false;
  }
}

int output_cell_bytes(const Parts& parts) {
  if (!parts.has_option) return 0;
  std::size_t flag = parts.option.find("-f:");
  if (flag == std::string_view::npos) return 0;
  std::size_t colon = parts.option.find(':');
  char choice = colon + 1 < parts.option.size() ? parts.option[colon + 1] : '\0';
  return choice == 'd' ? 8 : choice == 's' ? 4 : 0;
}

// A binary grid as the tool reads it: the encoding from the no-data value, the
// twelve header values, the cells right after them.
struct BinaryGrid {
  std::string_view bytes;
  int cell = 0;  // 4 or 8
  double header[13] = {};

  double at(std::size_t index) const {  // index 0 is the first header value
    if (cell == 8) {
      double v;
      std::memcpy(&v, bytes.data() + index * 8, 8);
      return v;
    }
    float v;
    std::memcpy(&v, bytes.data() + index * 4, 4);
    return static_cast<double>(v);
  }
};

bool read_binary_grid(std::string_view bytes, BinaryGrid& grid) {
  if (bytes.substr(0, 4) == "ncol") return false;
  grid.bytes = bytes;
  double d;
  float f;
  if (bytes.size() >= 48 && (std::memcpy(&d, bytes.data() + 40, 8), d == -9999.0)) {
    grid.cell = 8;
  } else if (bytes.size() >= 24 && (std::memcpy(&f, bytes.data() + 20, 4), f == -9999.0f)) {
    grid.cell = 4;
  } else {
    return false;
  }
  if (bytes.size() < static_cast<std::size_t>(12 * grid.cell)) return false;
  for (int k = 1; k <= 12; ++k) grid.header[k] = grid.at(static_cast<std::size_t>(k - 1));
  return true;
}

void put_value(std::string& out, double v, int cell) {
  if (cell == 8) {
    out.append(reinterpret_cast<const char*>(&v), 8);
  } else {
    float f = static_cast<float>(v);
    out.append(reinterpret_cast<const char*>(&f), 4);
  }
}

// The whole output file of a completed run over two binary grids: grid_1's
// header, each cell grid_1's value unless the mask lies at or below the no-data
// value N, and the statistics of the cells above N + 1 in the header.
std::string expected_binary_output(const BinaryGrid& first, const BinaryGrid& second,
                                   std::int64_t rows, std::int64_t width, int cell) {
  double h[13];
  std::memcpy(h, first.header, sizeof h);
  const double n = h[6];
  double count = 0, low = 0, high = 0, sum = 0, squares = 0;
  std::string cells;
  for (std::int64_t r = 0; r < rows; ++r) {
    for (std::int64_t c = 0; c < width; ++c) {
      const std::size_t index = static_cast<std::size_t>(12 + r * width + c);
      const double mask = second.at(index);
      const double v = n >= mask ? n : first.at(index);
      put_value(cells, v, cell);
      if (!(v > n + 1.0)) continue;
      sum += v;
      count += 1.0;
      squares += v * v;
      if (count == 1.0) {
        low = high = v;
      } else if (v < low) {
        low = v;
      } else if (v > high) {
        high = v;
      }
    }
  }
  h[7] = count;
  h[8] = low;
  h[9] = high;
  h[10] = sum;
  h[11] = count > 0 ? sum / count : -9999.0;
  if (count > 2) {
    const double spread = squares - (sum * sum) / count;
    h[12] = spread > 0 ? std::sqrt(spread / (count - 1)) : 0.0;
  } else {
    h[12] = -9999.0;
  }
  std::string out;
  for (int k = 1; k <= 12; ++k) put_value(out, h[k], cell);
  return out + cells;
}

std::string read_file(const std::string& path) {
  std::string bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  char block[65536];
  std::size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes.append(block, got);
  std::fclose(file);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static const std::string first_path = plotveil_fuzz::scratch_path("grid_1");
  static const std::string second_path = plotveil_fuzz::scratch_path("grid_2");
  static const std::string out_path = plotveil_fuzz::scratch_path("out");
  static std::FILE* const sink = std::fopen("/dev/null", "r+");
  static std::FILE* const no_answers = std::fopen("/dev/null", "r");
  if (sink == nullptr || no_answers == nullptr) fault("cannot open /dev/null", "");
  plotveil::set_exit_handler(throw_exit);

  const Parts parts = split(std::string_view(reinterpret_cast<const char*>(bytes), size));
  plotveil_fuzz::write_scratch_file(first_path, parts.first.data(), parts.first.size());
  plotveil_fuzz::write_scratch_file(second_path, parts.second.data(), parts.second.size());

  const FirstGrid first = read_first_grid(first_path, sink);
  if (first.known && first.size.columns == 0 && first.size.rows > kMaxEmptyRows) return 0;
  if (first.known && first.size.columns > kMaxWidth) return 0;

  const std::string option(parts.option);
  const char* argv[] = {"plotveil", first_path.c_str(), second_path.c_str(), out_path.c_str(),
                        option.c_str(), nullptr};
  const int argc = parts.has_option ? 5 : 4;

  char* said = nullptr;
  std::size_t said_size = 0;
  std::FILE* console = open_memstream(&said, &said_size);
  if (console == nullptr) fault("open_memstream failed", "");
  std::rewind(no_answers);
  plotveil::set_console_streams(console, no_answers);
  int code = 0;
  try {
    code = plotveil::run(argc, argv);
  } catch (const ToolExit& exit) {
    code = exit.code;
  }
  plotveil::set_console_streams(sink, no_answers);
  std::fclose(console);
  const std::string message(said, said_size);
  std::free(said);

#ifndef PLOTVEIL_FUZZ_ASAN
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  if (usage.ru_maxrss > kMaxResidentKb) fault("a run took more memory than its input justifies", message);
#endif

  if (code == 0) {
    if (!first.known) fault("a run completed on a grid_1 whose header cannot be used", message);
    const std::int64_t rows = first.size.rows > 0 ? first.size.rows : 0;
    if (message != std::string(static_cast<std::size_t>(rows), '.') + "\n") {
      fault("a completed run printed something other than its dots", message);
    }
    const int cell = output_cell_bytes(parts);
    struct stat info {};
    if (::stat(out_path.c_str(), &info) != 0) fault("no output after a completed run", "");
    if (cell != 0) {
      const std::int64_t want = (12 + rows * first.size.columns) * cell;
      if (info.st_size != want) fault("binary output of the wrong size", message);
      BinaryGrid first_grid, second_grid;
      if (read_binary_grid(parts.first, first_grid) && read_binary_grid(parts.second, second_grid) &&
          read_file(out_path) != expected_binary_output(first_grid, second_grid, rows,
                                                        first.size.columns, cell)) {
        fault("binary output differs from the masking model", message);
      }
    } else if (info.st_size < 6) {
      fault("text output without its header", message);
    }
  } else {
    if (!is_tool_exit_code(code)) fault("unknown exit code", message);
    if (code == 4 || code == 6) fault("a write into the scratch folder failed", message);
    if (message.empty() || message.back() != '\n') fault("a failure without its message", message);
  }
  return 0;
}
