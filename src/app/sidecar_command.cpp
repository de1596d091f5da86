#include "app/sidecar_command.hpp"

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
    "Writes name.hdr beside each single- or double-precision grid name.ext written\n"
    "by plotveil (-f:s, -f:d), so that GDAL, QGIS and ArcGIS open the grid: an ESRI\n"
    "header for a single grid, an ENVI header for a double grid.\n"
    "  -f, --force   replace an existing .hdr\n"
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

// Writes the sidecar of one grid; false, with its message said, when refused
// or failed.
bool write_sidecar(const std::string& grid, bool force) {
  InStream in;
  if (open_input(in, grid) != OpenInput::ok) {
    complain("cannot open " + grid + " (missing, unreadable or not a regular file)");
    return false;
  }
  unsigned char probe[kEncodingProbeSize];
  std::optional<GridEncoding> encoding = recognise_encoding(probe, read_input(in, probe, sizeof probe));
  if (!encoding) {
    complain(grid + " is not a grid plotveil reads (text, single or double)");
    return false;
  }
  if (*encoding == GridEncoding::ascii) {
    complain(grid + " is a text grid: GDAL, QGIS and ArcGIS open it as it is, without a sidecar");
    return false;
  }
  GridHeader header;
  if (!rewind_input(in, false) || !read_binary_header(in, *encoding, header)) {
    complain("cannot read the whole header of " + grid);
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

  OutStream out;
  if (!open_output(out, sidecar)) {
    complain("cannot create " + sidecar);
    return false;
  }
  const std::string text = format_sidecar(layout);
  bool written = write_output(out, text.data(), text.size()) == text.size();
  if (!close_output(out) || !written) {
    const bool removed = platform::remove_file(sidecar);
    complain("error writing " + sidecar + (removed ? " (removed)" : " (the partial file could not be removed)"));
    return false;
  }
  say(stdout, "wrote " + sidecar + "\n");
  return true;
}

}  // namespace

void sidecar_without_memory() {
  say(stderr, "plotveil-hdr: could not allocate memory\n");
  end_process(ExitCode::usage_or_setup);
}

int run_sidecar_command(int argc, const char* const* argv) {
  bool force = false;
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
  bool all = true;
  for (const std::string& grid : grids) all = write_sidecar(grid, force) && all;
  return std::fflush(stdout) == 0 && all ? 0 : 1;
}

}  // namespace plotveil
