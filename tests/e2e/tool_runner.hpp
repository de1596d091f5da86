// Runs the built plotveil binary as a child process and builds the files it is
// given: temporary folders, text grids and little-endian binary grids.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace plotveil_e2e {

namespace fs = std::filesystem;

// What the child's standard input is.
enum class Stdin {
  closed,  // descriptor 0 is not open at all
  bytes,   // a file holding RunOptions::input (empty: at end at once)
  endless, // NUL bytes without end (/dev/zero)
};

struct RunOptions {
  Stdin stdin_kind = Stdin::bytes;
  std::string input;
  std::optional<fs::path> working_dir;
  // Only a hang lasts this long, on any machine however busy, under any
  // emulator.
  std::chrono::milliseconds timeout{60000};
  std::uint64_t address_space_limit = 0;  // bytes of address space, 0 for no limit
  std::string binary;  // the program to run; empty for plotveil (tool_path())
  std::vector<std::string> environment;    // NAME=VALUE entries added to the child's
  std::uint64_t file_size_limit = 0;       // bytes a file may grow to, 0 for no limit
  bool stdout_unread = false;  // standard output is a pipe whose reader has gone (`| head -c 0`)
};

struct RunResult {
  int exit_code = -1;     // -1 when the child did not exit normally
  int signal = 0;         // the signal that ended it, 0 when none
  bool timed_out = false; // killed by the runner after the timeout
  std::string out;        // everything written to standard output
  std::string err;        // everything written to standard error
  long max_rss_kb = 0;    // the child's peak resident memory
  double cpu_seconds = 0; // the child's processor time, user and system: its
                          // work, which other work on the machine hardly moves
};

// The path of the binary under test: PLOTVEIL_BINARY from the environment,
// else the one this suite was built with.
std::string tool_path();
// The path of plotveil-hdr, the sidecar command.
std::string sidecar_tool_path();

// The command that runs the binary, when it is built for another system
// (PLOTVEIL_LAUNCHER, words separated by blanks: "wine64", "qemu-aarch64");
// empty when it runs as it is.
std::vector<std::string> tool_launcher();

// The launcher, the binary and the arguments: the words that run a binary.
std::vector<std::string> tool_command(const std::string& binary, const std::vector<std::string>& args);

// The binary under test is a Windows program (its name ends in ".exe").
bool windows_tool();

// What the tool's console output is on its system: on Windows the C runtime
// writes every "\n" as CR LF (so "\r\n" leaves as CR CR LF).
std::string console_text(const std::string& printed);

RunResult run_tool(const std::vector<std::string>& args, const RunOptions& options = {});

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const fs::path& path() const { return path_; }
  // The path of `name` inside the folder, as a string.
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  // Writes `bytes` to `name` inside the folder and returns its path.
  std::string write(const std::string& name, const std::string& bytes) const;

 private:
  fs::path path_;
};

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

// The twelve header values of a binary grid (ncols, nrows, xllcorner,
// yllcorner, cellsize, nodata_value, then six statistics).
using BinaryHeader = std::array<double, 12>;
BinaryHeader binary_header(double ncols, double nrows, double xll = 0, double yll = 0,
                           double cellsize = 1, double nodata = -9999);

// Little-endian bytes of single and double values.
std::string single_bytes(const std::vector<double>& values);
std::string double_bytes(const std::vector<double>& values);
std::string single_bytes(float value);
std::string double_bytes(double value);

using Rows = std::vector<std::vector<double>>;

// Binary grids: the twelve header values, then the cells row after row.
std::string single_grid(const BinaryHeader& header, const Rows& rows);
std::string double_grid(const BinaryHeader& header, const Rows& rows);

// A text grid: six keyword lines and the rows, cells separated by a blank,
// lines ended by "\r\n" or "\n". Numbers are written with up to 17 significant
// digits, so they read back exactly.
std::string text_grid(const BinaryHeader& header, const Rows& rows, bool crlf = false);
// The six keyword lines alone, with the numbers given as written.
std::string text_header(const std::string& ncols, const std::string& nrows,
                        const std::string& xll = "0", const std::string& yll = "0",
                        const std::string& cellsize = "1", const std::string& nodata = "-9999");

// Reading back binary output.
double double_at(const std::string& bytes, std::size_t index);
float single_at(const std::string& bytes, std::size_t index);

// Bytes written as hexadecimal pairs, for readable failure messages.
std::string hex(const std::string& bytes);

}  // namespace plotveil_e2e
