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
#include "grid/files/rows.hpp"
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

// A name beside `name` that nothing stands under yet; empty when none is found.
std::string unused_name_beside(const std::string& name) {
  for (int n = 0; n < 100; ++n) {
    std::string candidate = name + ".new" + (n == 0 ? "" : std::to_string(n));
    if (!platform::entry_exists(candidate)) return candidate;
  }
  return "";
}

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

// What is wrong with the grid file's size for the header it has, as a phrase
// for a message; empty when nothing is. A file shorter than its header says
// is an unfinished grid. A longer one is refused `exact`ly, and always where a
// single-precision header may have lost the grid's true size.
std::string size_problem(const InStream& in, GridEncoding encoding, const SidecarLayout& layout, bool exact) {
  const std::optional<std::uint64_t> size = platform::file_size(in.file);
  if (!size || *size == layout.grid_bytes) return "";
  const std::string sizes =
      "it holds " + std::to_string(*size) + " bytes, its header describes " + std::to_string(layout.grid_bytes);
  if (*size < layout.grid_bytes) return sizes + " (an unfinished grid?)";
  // A size of 2^24 in a single-precision header may stand for a larger one
  // it could not hold: from 2^24 + 1 on, not every whole number is a float.
  if (encoding == GridEncoding::single_precision &&
      (layout.columns >= kSingleCountsExactly || layout.rows >= kSingleCountsExactly)) {
    return sizes + ", and a single-precision header counts columns and rows exactly only up to " +
           std::to_string(kSingleCountsExactly) + " (a grid too large for its header?)";
  }
  return exact ? sizes + " (bytes after its last row: not a grid as plotveil writes it)" : "";
}

// The rows a run writes under `header`, as it counts them: ncols truncated to
// a row width, the whole rows of nrows (none for rows without cells), into
// columns, rows and grid_bytes. False for a size no run writes.
bool written_layout(const GridHeader& header, GridEncoding encoding, SidecarLayout& layout) {
  if (!grid_size_usable(header)) return false;
  const RowShape shape = row_shape(header.value[kNcols]);
  const double nrows = header.value[kNrows];
  layout.columns = shape.width;
  layout.rows = shape.width > 0 && nrows >= 1 ? static_cast<std::int64_t>(nrows) : 0;
  const std::uint64_t cell_bytes = encoding == GridEncoding::double_precision ? 8 : 4;
  layout.grid_bytes = 12 * cell_bytes + static_cast<std::uint64_t>(layout.columns) *
                                            static_cast<std::uint64_t>(layout.rows) * cell_bytes;
  return true;
}

// Writes the sidecar of one grid; false, with its message said, when refused
// or failed.
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
  problem = size_problem(in, *encoding, layout, false);
  if (!problem.empty()) {
    complain("no sidecar for " + grid + ": " + problem);
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
  // The statistics are written last: a grid cut short holds those of another.
  SidecarLayout layout;
  std::string problem;
  if (!written_layout(header, *encoding, layout)) {
    problem = "ncols " + exact_number(header.value[kNcols]) + " and nrows " + exact_number(header.value[kNrows]) +
              " describe no rows plotveil writes";
  } else {
    problem = size_problem(in, *encoding, layout, true);
  }
  if (!problem.empty()) {
    complain("no statistics for " + grid + ": " + problem);
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

// True when the sidecars of both grids are one file: one folder, one name.
bool share_sidecar(const std::string& first, const std::string& second) {
  const std::string a = sidecar_name(first);
  const std::string b = sidecar_name(second);
  const std::size_t a_cut = platform::entry_name_start(a);  // 0 without a folder
  const std::size_t b_cut = platform::entry_name_start(b);
  if (!platform::same_entry_name(a.substr(a_cut), b.substr(b_cut))) return false;
  const std::optional<platform::FileIdentity> a_folder = platform::identify(a_cut ? a.substr(0, a_cut) : ".");
  const std::optional<platform::FileIdentity> b_folder = platform::identify(b_cut ? b.substr(0, b_cut) : ".");
  return a_folder ? a_folder == b_folder : a.substr(0, a_cut) == b.substr(0, b_cut);
}

// Two grids of one call whose sidecar is one file: the second would replace
// the first's, and one grid would be read with the other's header. Said for
// the first such pair; true when there is one.
bool refuse_shared_sidecars(const std::vector<std::string>& grids) {
  for (std::size_t i = 0; i < grids.size(); ++i) {
    for (std::size_t j = i + 1; j < grids.size(); ++j) {
      if (!share_sidecar(grids[i], grids[j])) continue;
      complain(grids[i] + " and " + grids[j] + " have one sidecar, " + sidecar_name(grids[j]) +
               ": nothing written; give them in separate folders or under other names");
      return true;
    }
  }
  return false;
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
  if (!stats && refuse_shared_sidecars(grids)) return 1;
  bool all = true;
  bool printed = false;
  for (const std::string& grid : grids) all = (stats ? print_statistics(grid, printed) : write_sidecar(grid, force)) && all;
  return std::fflush(stdout) == 0 && all ? 0 : 1;
}

}  // namespace plotveil
