#include "app/sidecar_command.hpp"

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/failure.hpp"
#include "base/platform.hpp"
#include "grid/files/byte_streams.hpp"
#include "grid/files/encoding.hpp"
#include "grid/files/header.hpp"
#include "grid/files/sidecar.hpp"

namespace plotveil {
namespace {

constexpr char kUsage[] =
    "usage: plotveil-hdr [-f] <grid>...\n"
    "       plotveil-hdr --stats <grid>...\n"
    "Writes name.hdr beside each single- or double-precision grid name.ext written\n"
    "by plotveil (-f:s, -f:d), so that GDAL, QGIS and ArcGIS open the grid: an ESRI\n"
    "header for a single grid, an ENVI header for a double grid.\n"
    "  -f, --force   replace an existing .hdr\n"
    "  --stats       print the statistics stored in each grid's header instead, one\n"
    "                \"name value\" line each, values that read back exactly\n"
    "  -h, --help    print this help and exit\n"
    "  --version     print plotveil-hdr's version and exit\n";

// Through the platform's console: on a Windows console names in any script
// show as they are.
void say(std::FILE* stream, std::string_view text) {
  platform::write_console(stream, text, platform::is_terminal(stream));
}

void complain(const std::string& text) { say(stderr, "plotveil-hdr: " + text + "\n"); }

// From 16777217 on, not every whole number is a 32-bit float.
constexpr std::int64_t kSingleCountsExactly = std::int64_t{1} << 24;

// A name beside `name` that nothing stands under yet; empty when none is found.
std::string unused_name_beside(const std::string& name) {
  for (int n = 0; n < 100; ++n) {
    std::string candidate = name + ".new" + (n == 0 ? "" : std::to_string(n));
    if (!platform::entry_exists(candidate)) return candidate;
  }
  return "";
}

// Writes the sidecar of one grid; false, with its message said, when refused
// or failed.
// Opens a binary grid and reads its header; false, with its message said,
// when the grid is refused (`about_text` says why a text grid is).
bool open_binary_grid(const std::string& grid, const char* about_text, InStream& in,
                      std::optional<GridEncoding>& encoding, GridHeader& header) {
  if (open_input(in, grid) != OpenInput::ok) {
    complain("cannot open " + grid + " (missing, unreadable or not a regular file)");
    return false;
  }
  unsigned char probe[kEncodingProbeSize];
  encoding = recognise_encoding(probe, read_input(in, probe, sizeof probe));
  if (!encoding) {
    complain(grid + " is not a grid plotveil reads (text, single or double)");
    return false;
  }
  if (*encoding == GridEncoding::ascii) {
    complain(grid + " is a text grid: " + about_text);
    return false;
  }
  if (!rewind_input(in, false) || !read_binary_header(in, *encoding, header)) {
    complain("cannot read the whole header of " + grid);
    return false;
  }
  return true;
}

bool write_sidecar(const std::string& grid, bool force) {
  InStream in;
  std::optional<GridEncoding> encoding;
  GridHeader header;
  if (!open_binary_grid(grid, "GDAL, QGIS and ArcGIS open it as it is, without a sidecar", in, encoding, header)) {
    return false;
  }
  SidecarLayout layout;
  std::string problem = describe_grid(header, *encoding, layout);
  if (!problem.empty()) {
    complain("no sidecar for " + grid + ": " + problem);
    return false;
  }
  std::optional<std::uint64_t> size = platform::file_size(in.file);
  if (size && *size < layout.grid_bytes) {
    complain("no sidecar for " + grid + ": it holds " + std::to_string(*size) + " bytes, its header describes " +
             std::to_string(layout.grid_bytes) + " (an unfinished grid?)");
    return false;
  }
  if (size && *size > layout.grid_bytes && *encoding == GridEncoding::single_precision &&
      (layout.columns >= kSingleCountsExactly || layout.rows >= kSingleCountsExactly)) {
    complain("no sidecar for " + grid + ": it holds " + std::to_string(*size) + " bytes, its header describes " +
             std::to_string(layout.grid_bytes) +
             ", and a single-precision header counts columns and rows exactly only up to 16777216"
             " (a grid too large for its header?)");
    return false;
  }

  const std::string sidecar = sidecar_name(grid);
  if (platform::names_file(sidecar, in.identity)) {
    complain("no sidecar for " + grid + ": " + sidecar + " would be the grid itself");
    return false;
  }
  if (!force && platform::entry_exists(sidecar)) {
    complain(sidecar + " exists; give -f to replace it");
    return false;
  }

  // A sidecar that is replaced is written beside it first and renamed over
  // its name, so that a link there never leads the text into another file.
  const bool replacing = force && platform::entry_exists(sidecar);
  const std::string written_name = replacing ? unused_name_beside(sidecar) : sidecar;
  OutStream out;
  if (written_name.empty() || !open_output(out, written_name)) {
    complain("cannot create " + sidecar);
    return false;
  }
  const std::string text = format_sidecar(layout);
  bool written = write_output(out, text.data(), text.size()) == text.size();
  if (!close_output(out) || !written) {
    const bool removed = platform::remove_file(written_name);
    complain("error writing " + sidecar + (removed ? " (removed)" : " (the partial file could not be removed)"));
    return false;
  }
  if (replacing && !platform::replace_entry(written_name, sidecar)) {
    platform::remove_file(written_name);
    complain("cannot replace " + sidecar + " (it is left as it was)");
    return false;
  }
  say(stdout, "wrote " + sidecar + "\n");
  return true;
}

// The shortest text that reads back as the value: a single grid's values as
// the floats they are.
std::string stored_value(double value, GridEncoding encoding) {
  if (encoding == GridEncoding::double_precision) return exact_number(value);
  char text[32];
  std::to_chars_result done = std::to_chars(text, text + sizeof text, static_cast<float>(value));
  return std::string(text, done.ptr);
}

// Prints the statistics a binary grid's header holds; false, with its message
// said, when the grid is refused.
bool print_statistics(const std::string& grid, bool& printed_before) {
  InStream in;
  std::optional<GridEncoding> encoding;
  GridHeader header;
  if (!open_binary_grid(grid, "text grids carry no statistics (plotveil stores them in single and double outputs, "
                        "-f:s and -f:d)", in, encoding, header)) {
    return false;
  }
  static const char* const kNames[] = {"count", "minimum", "maximum", "sum", "mean", "standard_deviation"};
  std::string text = printed_before ? "\n" : "";
  printed_before = true;
  text += "grid " + grid + "\n";
  for (int k = kCount; k <= kDeviation; ++k) {
    text += std::string(kNames[k - kCount]) + " " + stored_value(header.value[k], *encoding) + "\n";
  }
  say(stdout, text);
  return true;
}

}  // namespace

void sidecar_without_memory() {
  say(stderr, "plotveil-hdr: could not allocate memory\n");
  end_process(ExitCode::usage_or_setup);
}

int run_sidecar_command(int argc, const char* const* argv) {
  bool force = false;
  bool stats = false;
  bool options_end = false;
  std::vector<std::string> grids;
  for (int k = 1; k < argc; ++k) {
    std::string_view arg = argv[k];
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      grids.emplace_back(arg);
    } else if (arg == "--") {
      options_end = true;
    } else if (arg == "-h" || arg == "--help") {
      say(stdout, kUsage);
      return 0;
    } else if (arg == "--version") {
      // The release's version, set once in the build (CMake's project version).
      say(stdout, "plotveil-hdr " PLOTVEIL_VERSION "\n");
      return std::fflush(stdout) == 0 ? 0 : 1;
    } else if (arg == "-f" || arg == "--force") {
      force = true;
    } else if (arg == "--stats") {
      stats = true;
    } else {
      complain("unknown option " + std::string(arg));
      say(stderr, kUsage);
      return 2;
    }
  }
  if (grids.empty()) {
    say(stderr, kUsage);
    return 2;
  }
  if (stats && force) {
    complain("--stats writes nothing: -f has no place beside it");
    say(stderr, kUsage);
    return 2;
  }
  bool all = true;
  bool printed = false;
  for (const std::string& grid : grids) all = (stats ? print_statistics(grid, printed) : write_sidecar(grid, force)) && all;
  return std::fflush(stdout) == 0 && all ? 0 : 1;
}

}  // namespace plotveil
