// Inputs that promise more than they hold, or hold what is not a number: each
// run ends with the short-row message, its work and memory not grown with the
// promise. And names, answers and memory that try to break the tool: each ends
// with its own message and code, never a hang, an abort or a success on a
// wrong grid.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <thread>
#include <iostream>

#include "expectations.hpp"
#include "tool_runner.hpp"

namespace plotveil_e2e {
namespace {

// Peak memory a run may reach. The sanitizers keep shadow memory of their own.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr long kMemoryLimitKb = 400 * 1024;
#else
constexpr long kMemoryLimitKb = 100 * 1024;
#endif

std::string short_row(const std::string& name, int row, int read) {
  return "error reading from " + name + " in row " + std::to_string(row) + " (" + std::to_string(read) +
         " values read)\n";
}

// A grid of a few cells whose header promises `count` columns or rows.
using Promise = std::function<std::string(std::int64_t count)>;

// The promise of two billion columns or rows costs no more than one of two
// thousand: both runs stop at the same short row with the same message, in
// little memory, and the large one takes at most a few times the processor
// time of the small one, which work that grew with the promise would pass
// a thousandfold. Each runs three times and the least time counts. Under a
// launcher (qemu-user) the time and memory are the emulator's, which maps
// what the tool only reserves: each runs once, and only the outcome counts.
// Returns the output the large promise leaves.
std::string expect_promise_free(const Promise& grid, std::int64_t huge, const std::string& format, int row,
                                int read) {
  constexpr double kFewTimes = 10;
  const bool measured = tool_launcher().empty();
  TempDir dir;
  double least[2] = {0, 0};
  const std::int64_t promises[2] = {2000, huge};
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE("a promise of " + std::to_string(promises[k]));
    const std::string name = dir.write("g", grid(promises[k]));
    for (int attempt = 0; attempt < (measured ? 3 : 1); ++attempt) {
      RunResult run = run_tool({name, name, dir.file("out"), format});
      expect_run(run, 5, std::string(static_cast<std::size_t>(row - 1), '.') + short_row(name, row, read));
      if (measured) {
        EXPECT_LT(run.max_rss_kb, kMemoryLimitKb);
      }
      least[k] = attempt == 0 ? run.cpu_seconds : std::min(least[k], run.cpu_seconds);
    }
  }
  if (measured) {
    EXPECT_LE(least[1], kFewTimes * least[0]) << "processor seconds: " << least[1] << " against " << least[0];
  }
  return read_file(dir.file("out"));
}

TEST(HugePromises, TwoBillionColumnsOverATinyFile) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the address and thread sanitizers write shadow memory for every promised cell";
#endif
  if (windows_tool()) GTEST_SKIP() << "Windows commits the memory of a row when it is allocated";
  const std::vector<std::pair<const char*, Promise>> grids = {
      {"text", [](std::int64_t n) { return text_header(std::to_string(n), "3") + "1 2 3 4 5\n"; }},
      {"single", [](std::int64_t n) { return single_grid(binary_header(n, 3), {{1, 2, 3, 4, 5}}); }},
      {"double", [](std::int64_t n) { return double_grid(binary_header(n, 3), {{1, 2, 3, 4, 5}}); }},
  };
  for (const auto& [what, grid] : grids) {
    for (const std::string format : {"-f:t", "-f:s", "-f:d"}) {
      SCOPED_TRACE(std::string(what) + " " + format);
      expect_promise_free(grid, 2'000'000'000, format, 1, 5);
    }
  }
  // The widest usable row; no float holds it.
  for (const std::string format : {"-f:t", "-f:d"}) {
    SCOPED_TRACE("double, widest usable row " + format);
    expect_promise_free(grids[2].second, 2147483646, format, 1, 5);
  }
}

TEST(HugePromises, RowsTooWideToAllocateAreRefused) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the address and thread sanitizers need far more address space than the limit";
#endif
  TempDir dir;
  std::string grid = dir.write("g.asc", text_header("2000000000", "3") + "1 2 3 4 5\n");
  std::string out = dir.file("out.asc");
  RunOptions options;
  options.address_space_limit = std::uint64_t{2} << 30;  // far below the 16 GB of one row
  expect_run(run_tool({grid, grid, out}, options), 1,
             "could not allocate memory for rows of 2000000000 cells\n");
  // The header written before the rows stays in the file.
  EXPECT_EQ(read_file(out).substr(0, 18), "ncols\t2000000000\r\n");
}

TEST(HugePromises, TwoBillionRowsOverATinyFile) {
  const Rows rows = {{1, 2}, {3, 4}, {5, 6}};
  const std::vector<std::pair<const char*, Promise>> grids = {
      {"text", [](std::int64_t n) { return text_header("2", std::to_string(n)) + "1 2\n3 4\n5 6\n"; }},
      {"single", [&rows](std::int64_t n) { return single_grid(binary_header(2, n), rows); }},
      {"double", [&rows](std::int64_t n) { return double_grid(binary_header(2, n), rows); }},
  };
  for (const auto& [what, grid] : grids) {
    SCOPED_TRACE(what);
    // The three rows written before the short one stay in the output.
    EXPECT_EQ(expect_promise_free(grid, 2'000'000'000, "-f:d", 4, 0).size(), (12u + 6) * 8);
  }
}

TEST(NotNumbers, TextCellThatIsNoNumberEndsTheRow) {
  TempDir dir;
  std::string mask = dir.write("m.asc", text_header("4", "1") + "1 1 1 1\n");
  struct Case {
    const char* cells;
    int read;  // cells read before the word that is none
  };
  // A cell is one whole word: a number with more after it is damaged too.
  // Which words are damaged is unit-tested (TextBlock); here, that the run
  // counts the cells before one, in either grid, wherever it stands.
  const Case cases[] = {
      {"5 1.#INF 7 8", 1}, {"5 nan 7 8", 1},   {"5 0x10 7 8", 1},   {"5 \x01 7 8", 1},
      {"5 6 1.2.3 8", 2},  {"1-2 6 7 8", 0},   {"5 6 7 1e-5-3", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cells);
    std::string grid = dir.write("g.asc", text_header("4", "1") + c.cells + "\n");
    expect_run(run_tool({grid, mask, dir.file("out")}), 5, short_row(grid, 1, c.read));
    expect_run(run_tool({mask, grid, dir.file("out")}), 5, short_row(grid, 1, c.read));
  }
}

// One attempt to break the tool, and how it must end.
struct Attempt {
  const char* skip = nullptr;  // why it cannot apply to the tool under test
  std::vector<std::string> args = {};
  RunOptions options = {};
  int code = 0;
  std::string out = {};  // standard output, exactly
  std::string err = {};  // a part of standard error; empty: nothing there
  // Run under each limit of address space instead, until the run succeeds:
  // each must end as expected or with the memory message.
  std::vector<std::uint64_t> address_limits = {};
  std::function<void(const RunResult&)> check = {};  // the files afterwards
};

const std::string kPrompt = "please enter new output file name: ";
std::string cannot_open(const std::string& name) { return "error opening output grid " + name + " \r\n" + kPrompt; }
const std::string kNoMemory = "could not allocate memory\n";
std::string too_large(const std::string& grid) {
  return "grid " + grid + " is too large for a single-precision header, which counts columns and rows exactly only "
         "up to 16777216; write it with -f:d or -f:t\n";
}

bool sanitized() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return true;
#else
  return false;
#endif
}

std::string fifo(const TempDir& dir, const std::string& name) {
  std::string path = dir.file(name);
  if (::mkfifo(path.c_str(), 0644) != 0) throw std::runtime_error("mkfifo " + path);
  return path;
}

// What a reader of the FIFO has been sent by the time the run ended. The
// reader keeps the FIFO open for writing too, so it never waits.
std::string drain_fifo(int fd) {
  std::string bytes;
  char chunk[4096];
  for (ssize_t got; (got = ::read(fd, chunk, sizeof chunk)) > 0;) bytes.append(chunk, static_cast<std::size_t>(got));
  ::close(fd);
  return bytes;
}

void run_attempt(const Attempt& a) {
  if (a.address_limits.empty()) {
    RunResult run = run_tool(a.args, a.options);
    EXPECT_FALSE(run.timed_out) << "the run hung";
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exit_code, a.code);
    EXPECT_EQ(run.out, console_text(a.out));
    if (a.err.empty()) {
      EXPECT_EQ(run.err, "");
    } else {
      EXPECT_NE(run.err.find(a.err), std::string::npos) << run.err;
    }
    if (a.check) a.check(run);
    return;
  }
  bool started = false;
  bool refused = false;
  for (std::uint64_t limit : a.address_limits) {
    SCOPED_TRACE("address space " + std::to_string(limit));
    RunOptions options = a.options;
    options.address_space_limit = limit;
    RunResult run = run_tool(a.args, options);
    // Below some limit the system cannot load the program or start its
    // runtime: nothing is printed. From the first run that prints on, each
    // must end as expected.
    if (!started && run.out.empty()) continue;
    started = true;
    ASSERT_EQ(run.signal, 0) << run.err;
    if (run.exit_code == 0) {
      EXPECT_EQ(run.out, a.out);
      EXPECT_TRUE(refused) << "no limit was low enough to be refused";
      return;
    }
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "");
    if (run.out == kNoMemory) {
      refused = true;
      if (a.check) a.check(run);
    } else {
      EXPECT_EQ(run.out.rfind("could not allocate memory for rows of ", 0), 0u) << run.out;
    }
  }
  ADD_FAILURE() << "no limit was high enough to run";
}

TEST(BreakingAttempts, EachEndsAtOnceWithItsOwnMessage) {
  TempDir dir;
  const std::string grid = dir.write("g.asc", text_grid(binary_header(3, 1), {{1, 2, 3}}));
  const std::string mask = dir.write("m.asc", text_grid(binary_header(3, 1), {{1, 1, -9999}}));
  const std::string text_out = "ncols\t3\r\nnrows\t1\r\nxllcorner\t0\r\nyllcorner\t0\r\ncellsize\t1\r\n"
                               "nodata_value\t-9999\r\n1\t2\t-9999\r\n";
  const std::string unreachable = dir.file("no/such/folder/out.asc");
  const std::string single = dir.write("s.flt", single_grid(binary_header(1, 1), {{5}}));
  const std::string single_hdr = dir.file("s.hdr");
  // An output that exists: refusals before it is opened leave it as it is.
  const std::string kept = dir.file("kept.out");
  // Large enough that the console and a pipe take their bytes in several writes.
  std::string tall_rows;
  for (int r = 0; r < 20000; ++r) tall_rows += std::to_string(r) + "\n";
  const std::string tall = dir.write("many_rows.asc", text_header("1", "20000") + tall_rows);
  std::string wide_cells;
  for (int c = 0; c < 100; ++c) wide_cells += "12345.6 ";
  std::string wide_body;
  for (int r = 0; r < 2000; ++r) wide_body += wide_cells + "\n";
  const std::string wide = dir.write("many_cells.asc", text_header("100", "2000") + wide_body);
  auto keeps_output = [kept](const RunResult&) { EXPECT_EQ(read_file(kept), "keep"); };
  auto hdr = [] {
    RunOptions options;
    options.binary = sidecar_tool_path();
    return options;
  };
  auto answers = [](const std::string& input) {
    RunOptions options;
    options.input = input;
    return options;
  };
  const bool windows = windows_tool();
  const char* const windows_only = windows ? nullptr : "Linux names are bytes: a byte-order mark is one of them";

  const std::vector<std::pair<const char*, std::function<Attempt()>>> attempts = {
      // Names that would block the tool, opened without waiting.
      {"grid_1 is a FIFO", [&] { return Attempt{.args = {fifo(dir, "f1"), mask, kept}, .code = 98,
                                                 .out = "could not open input file " + dir.file("f1") + "\n",
                                                 .check = keeps_output}; }},
      {"grid_2 is a FIFO", [&] { return Attempt{.args = {grid, fifo(dir, "f2"), kept}, .code = 98,
                                                 .out = "could not open input file " + dir.file("f2") + "\n",
                                                 .check = keeps_output}; }},
      {"the output is a FIFO without a reader",
       [&] {
         return Attempt{.skip = windows ? "Windows has no FIFOs; Wine opens a Unix one as a file of its own" : nullptr,
                        .args = {grid, mask, fifo(dir, "f3")}, .code = 1,
                        .out = cannot_open(dir.file("f3"))};
       }},
      {"a binary output into a pipe that has a reader",
       [&] {
         const std::string pipe = fifo(dir, "f4");
         const int reader = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK);
         return Attempt{.args = {grid, mask, pipe, "-f:s"}, .code = 1,
                        .out = "output grid " + pipe + " cannot seek: a binary grid needs a file \r\n" + kPrompt,
                        .check = [reader](const RunResult&) { EXPECT_EQ(drain_fifo(reader), "") << "nothing written"; }};
       }},
      {"a text output into a pipe that has a reader",
       [&] {
         const std::string pipe = fifo(dir, "f5");
         const int reader = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK);
         return Attempt{.args = {grid, mask, pipe}, .code = 0, .out = dots(1),
                        .check = [reader, text_out](const RunResult&) { EXPECT_EQ(drain_fifo(reader), text_out); }};
       }},
      // A reader that goes away: the console is not the product, the output is.
      {"the console's reader has gone",
       [&] {
         const std::string expected = dir.file("many_rows_expected.flt");
         const std::string out = dir.file("many_rows.flt");
         run_tool({tall, tall, expected, "-f:s"});
         Attempt a{.args = {tall, tall, out, "-f:s"}, .code = 0,
                   .check = [expected, out](const RunResult&) { EXPECT_EQ(read_file(out), read_file(expected)); }};
         a.options.stdout_unread = true;
         return a;
       }},
      {"a text output into a pipe whose reader quits",
       [&] {
         Attempt a{.skip = windows ? "Windows has no FIFOs; Wine opens a Unix one as a file of its own" : nullptr,
                   .args = {wide, wide, dir.file("f8")}, .code = 6};
         a.options.stdout_unread = true;
         if (a.skip != nullptr) return a;
         const int reader = ::open(fifo(dir, "f8").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
         // Reads a few bytes, as `head -c 5` does, then goes.
         auto quitter = std::make_shared<std::thread>([reader] {
           pollfd ready{reader, POLLIN, 0};
           char bytes[5];
           if (::poll(&ready, 1, 10000) > 0) (void)!::read(reader, bytes, sizeof bytes);
           ::close(reader);
         });
         a.check = [quitter](const RunResult&) { quitter->join(); };
         return a;
       }},
      {"plotveil-hdr: the grid is a FIFO",
       [&] {
         return Attempt{.args = {fifo(dir, "f6.flt")}, .options = hdr(), .code = 1,
                        .err = "cannot open " + dir.file("f6.flt") + " (missing, unreadable or not a regular file)"};
       }},
      {"plotveil-hdr: the sidecar is a FIFO",
       [&] {
         const std::string grid_f7 = dir.write("f7.flt", read_file(single));
         fifo(dir, "f7.hdr");
         return Attempt{.args = {grid_f7}, .options = hdr(), .code = 1,
                        .err = dir.file("f7.hdr") + " exists; give -f to replace it"};
       }},
      // Memory.
      {"too little memory for the stream buffers",
       [&] {
         Attempt a{.args = {grid, mask, kept}, .code = 0, .out = dots(1), .check = keeps_output};
         if (windows || !tool_launcher().empty() || sanitized()) {
           a.skip = "the limit would bind the emulator or the sanitizer, not the tool";
         }
         a.options.environment = {"PLOTVEIL_THREADS=1"};
         for (std::uint64_t kib = 1024; kib <= 64 * 1024; kib += 256) a.address_limits.push_back(kib * 1024);
         return a;
       }},
      // Answers to the prompt.
      {"an endless answer",
       [&] {
         Attempt a{.args = {grid, mask, unreachable}, .code = 1,
                   .out = cannot_open(unreachable) + "\r\noutput file name longer than 32767 characters\n",
                   .check = [](const RunResult& run) {
                     if (tool_launcher().empty()) {
                       EXPECT_LT(run.max_rss_kb, kMemoryLimitKb);
                     }
                   }};
         a.options.stdin_kind = Stdin::endless;
         return a;
       }},
      {"an answer of 32768 characters",
       [&] {
         return Attempt{.args = {grid, mask, unreachable}, .options = answers(std::string(32768, 'a') + "\n"),
                        .code = 1, .out = cannot_open(unreachable) + "\r\noutput file name longer than 32767 characters\n"};
       }},
      {"an answer of 32767 characters is tried",
       [&] {
         const std::string longest(32767, 'a');
         return Attempt{.args = {grid, mask, unreachable}, .options = answers(longest + "\n"), .code = 1,
                        .out = cannot_open(unreachable) + "\r\n" + cannot_open(longest)};
       }},
      {"Windows: a byte-order mark alone is the empty answer",
       [&] {
         return Attempt{.skip = windows_only, .args = {grid, mask, unreachable},
                        .options = answers("\xEF\xBB\xBF\r\n"), .code = 1, .out = cannot_open(unreachable)};
       }},
      {"Windows: a byte-order mark is no part of the name",
       [&] {
         const std::string named = dir.file("named.asc");
         return Attempt{.skip = windows_only, .args = {grid, mask, unreachable},
                        .options = answers("\xEF\xBB\xBF" + named + "\r\n"), .code = 0,
                        .out = cannot_open(unreachable) + "\r\n" + dots(1),
                        .check = [named, text_out](const RunResult&) { EXPECT_EQ(read_file(named), text_out); }};
       }},
      // plotveil-hdr and sidecars that exist.
      {"plotveil-hdr: a sidecar that cannot be read exists",
       [&] {
         write_file(single_hdr, "old");
         ::chmod(single_hdr.c_str(), 0200);
         return Attempt{.args = {single}, .options = hdr(), .code = 1,
                        .err = single_hdr + " exists; give -f to replace it",
                        .check = [single_hdr](const RunResult&) {
                          ::chmod(single_hdr.c_str(), 0644);
                          EXPECT_EQ(read_file(single_hdr), "old");
                        }};
       }},
      {"plotveil-hdr: a link to nothing exists",
       [&] {
         const std::string grid_l = dir.write("l.flt", read_file(single));
         fs::create_symlink(dir.file("nowhere"), dir.file("l.hdr"));
         return Attempt{.skip = windows ? "Wine shows a Unix link to nothing as no entry at all" : nullptr,
                        .args = {grid_l}, .options = hdr(), .code = 1,
                        .err = dir.file("l.hdr") + " exists; give -f to replace it",
                        .check = [&](const RunResult&) { EXPECT_FALSE(file_exists(dir.file("nowhere"))); }};
       }},
      {"plotveil-hdr -f: a folder that cannot be changed",
       [&] {
         // The replacement is written beside the sidecar: nothing goes through the link.
         const std::string folder = dir.file("locked");
         fs::create_directory(folder);
         const std::string grid_p = dir.write("locked/p.flt", read_file(single));
         fs::create_symlink("/dev/full", folder + "/p.hdr");
         Attempt a{.skip = windows ? "Windows removes no link to a Linux device" : nullptr,
                   .args = {"-f", grid_p}, .options = hdr(), .code = 1,
                   .err = "cannot create " + folder + "/p.hdr",
                   .check = [folder](const RunResult&) {
                     ::chmod(folder.c_str(), 0755);
                     EXPECT_TRUE(fs::is_symlink(folder + "/p.hdr"));
                   }};
         if (a.skip == nullptr && ::geteuid() == 0) a.skip = "root removes a file from any folder";
         if (a.skip == nullptr) ::chmod(folder.c_str(), 0555);
         return a;
       }},
      // Sizes a single-precision header cannot hold.
      {"-f:s with 16777217 rows",
       [&] {
         const std::string g = dir.write("tall.asc", text_header("1", "16777217"));
         return Attempt{.args = {g, g, kept, "-f:s"}, .code = 1, .out = too_large(g), .check = keeps_output};
       }},
      {"-f:s with 16777217 columns",
       [&] {
         const std::string g = dir.write("wide.asc", text_header("16777217", "1"));
         return Attempt{.args = {g, g, kept, "-f:s"}, .code = 1, .out = too_large(g), .check = keeps_output};
       }},
      {"-f:s with 16777218 rows, which a float holds",
       [&] {
         const std::string g = dir.write("even.asc", text_header("1", "16777218") + "1\n2\n");
         return Attempt{.args = {g, g, dir.file("even.flt"), "-f:s"}, .code = 5, .out = ".." + short_row(g, 3, 0)};
       }},
      {"plotveil-hdr: a single grid taller than its header says",
       [&] {
         // Written by a run of 16777217 rows of one cell, whose header says 16777216.
         const std::string g = dir.write("tall.flt", single_grid(binary_header(1, 16777217), {}));
         fs::resize_file(g, 48 + 16777217ull * 4);
         return Attempt{.args = {g}, .options = hdr(), .code = 1,
                        .err = "a single-precision header counts columns and rows exactly only up to 16777216"};
       }},
  };
  for (const auto& [what, make] : attempts) {
    SCOPED_TRACE(what);
    write_file(kept, "keep");
    Attempt a = make();
    if (a.skip != nullptr) {
      std::cout << "  (not run: " << what << ": " << a.skip << ")\n";
      continue;
    }
    run_attempt(a);
  }
}

}  // namespace
}  // namespace plotveil_e2e
