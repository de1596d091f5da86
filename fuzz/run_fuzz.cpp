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
// a write can never fail on the scratch folder (codes 4 and 6). A plain model
// of the run decides whether it completes, stops at a short row or stops
// earlier; a completed run prints one dot per row and a line feed, and its
// output file equals the model's byte for byte. Each input runs twice, alone
// and on worker threads with tiny blocks and slots; both runs must end, print
// and write alike.
#include <sys/resource.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "app/run.hpp"
#include "base/console.hpp"
#include "base/failure.hpp"
#include "run_model.hpp"
#include "scratch_dir.hpp"

namespace {

constexpr std::string_view kSeparator = "~~~~";

// Zero-width rows read nothing, so their count is not bounded by the input:
// the tool prints a dot for each of up to 2^31 rows. Such runs are skipped.
constexpr std::int64_t kMaxEmptyRows = 100000;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PLOTVEIL_FUZZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define PLOTVEIL_FUZZ_ASAN 1
#endif
#endif

#ifdef PLOTVEIL_FUZZ_ASAN
// The address sanitizer writes the shadow of every freed block (the thread
// sanitizer's shadow costs alike), so a row buffer reserved for two billion
// cells costs gigabytes and a minute there, though the tool itself never
// touches it. Wider rows are left to the plain build.
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

bool is_tool_exit_code(int code) {
  switch (code) {
    case 1: case 2: case 4: case 5: case 6: case 98: return true;
    default: return false;
  }
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

struct RunResult {
  int code = 0;
  std::string message;
  std::string output;
};

RunResult run_once(int argc, const char* const* argv, const plotveil::RunSettings& settings,
                   const std::string& out_path) {
  static std::FILE* const sink = std::fopen("/dev/null", "r+");
  static std::FILE* const no_answers = std::fopen("/dev/null", "r");
  if (sink == nullptr || no_answers == nullptr) fault("cannot open /dev/null", "");
  std::remove(out_path.c_str());
  char* said = nullptr;
  std::size_t said_size = 0;
  std::FILE* console = open_memstream(&said, &said_size);
  if (console == nullptr) fault("open_memstream failed", "");
  std::rewind(no_answers);
  plotveil::set_console_streams(console, no_answers);
  RunResult result;
  try {
    result.code = plotveil::run(argc, argv, settings);
  } catch (const ToolExit& exit) {
    result.code = exit.code;
  }
  plotveil::set_console_streams(sink, no_answers);
  std::fclose(console);
  result.message.assign(said, said_size);
  std::free(said);
  result.output = read_file(out_path);
  return result;
}

// Three threads; blocks of 1 to 24 bytes and slots of 1 to 5 cells, or a
// row's cells where that is more, chosen by the input.
plotveil::RunSettings spread_settings(const std::uint8_t* bytes, std::size_t size) {
  std::size_t mix = size;
  for (std::size_t i = 0; i < size; ++i) mix = mix * 31 + bytes[i];
  plotveil::RunSettings settings;
  settings.threads = 3;
  settings.text_block_bytes = 1 + mix % 24;
  settings.text_slot_cells = 1 + (mix / 24) % 5;
  settings.row_slots_up_to = (mix / 120) % 2 == 0 ? 0 : settings.row_slots_up_to;
  return settings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static const std::string first_path = plotveil_fuzz::scratch_path("grid_1");
  static const std::string second_path = plotveil_fuzz::scratch_path("grid_2");
  static const std::string out_path = plotveil_fuzz::scratch_path("out");
  plotveil::set_exit_handler(throw_exit);

  const Parts parts = split(std::string_view(reinterpret_cast<const char*>(bytes), size));
  plotveil_fuzz::write_scratch_file(first_path, parts.first.data(), parts.first.size());
  plotveil_fuzz::write_scratch_file(second_path, parts.second.data(), parts.second.size());

  const plotveil_fuzz::RunOutcome model = plotveil_fuzz::model_run(
      parts.first, parts.second, plotveil_fuzz::model_output_kind(parts.option));
  if (model.size_known && model.width == 0 && model.rows > kMaxEmptyRows) return 0;
  if (model.size_known && model.width > kMaxWidth) return 0;

  const std::string option(parts.option);
  const char* argv[] = {"plotveil", first_path.c_str(), second_path.c_str(), out_path.c_str(),
                        option.c_str(), nullptr};
  const int argc = parts.has_option ? 5 : 4;

  // Alone, then on worker threads with blocks and slots so small that their
  // edges fall everywhere: the two runs must print and write the same.
  const RunResult alone = run_once(argc, argv, plotveil::RunSettings{}, out_path);
  const RunResult spread = run_once(argc, argv, spread_settings(bytes, size), out_path);
  if (spread.code != alone.code) fault("worker threads changed the exit code", spread.message);
  if (spread.message != alone.message) fault("worker threads changed what is printed", spread.message);
  if (spread.output != alone.output) fault("worker threads changed the output", spread.message);
  const int code = alone.code;
  const std::string& message = alone.message;

#if !defined(PLOTVEIL_FUZZ_ASAN) && !defined(PLOTVEIL_FUZZ_EMULATED)
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  if (usage.ru_maxrss > kMaxResidentKb) fault("a run took more memory than its input justifies", message);
#endif

  using End = plotveil_fuzz::RunOutcome::End;
  if (code == 0) {
    if (model.end != End::complete) fault("a run completed where it must fail", message);
    if (message != std::string(static_cast<std::size_t>(model.rows), '.') + "\n") {
      fault("a completed run printed something other than its dots", message);
    }
    if (alone.output != model.output) fault("the output differs from the model", message);
  } else {
    if (!is_tool_exit_code(code)) fault("unknown exit code", message);
    if (code == 4 || code == 6) fault("a write into the scratch folder failed", message);
    if (message.empty() || message.back() != '\n') fault("a failure without its message", message);
    if (model.end == End::complete) fault("a run failed where it must complete", message);
    if ((model.end == End::short_row) != (code == 5)) fault("a short row not reported as such", message);
  }
  return 0;
}
