// plotveil-hdr: the sidecar it writes beside a binary grid, what it refuses,
// and its options.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include "tool_runner.hpp"

namespace plotveil_e2e {
namespace {

RunResult run_hdr(const std::vector<std::string>& args) {
  RunOptions options;
  options.binary = sidecar_tool_path();
  return run_tool(args, options);
}

const std::string kSingleSidecar =
    "BYTEORDER     I\nLAYOUT        BIL\nNROWS         2\nNCOLS         3\nNBANDS        1\n"
    "NBITS         32\nPIXELTYPE     FLOAT\nSKIPBYTES     48\nULXMAP        1000.75\n"
    "ULYMAP        2000.75\nXDIM          0.5\nYDIM          0.5\nNODATA        -9999\n";

const std::string kDoubleSidecar =
    "ENVI\ndescription = {double grid written by plotveil}\nsamples = 3\nlines = 2\nbands = 1\n"
    "header offset = 96\nfile type = ENVI Standard\ndata type = 5\ninterleave = bsq\nbyte order = 0\n"
    "map info = {Arbitrary, 1, 1, 1000.5, 2001, 0.5, 0.5}\ndata ignore value = -9999\n";

TEST(SidecarCommand, WritesTheSidecarOrRefusesWithAReason) {
  const Rows cells = {{1, 2, 3}, {4, -9999, 6}};
  const BinaryHeader geometry = binary_header(3, 2, 1000.5, 2000, 0.5);
  BinaryHeader with_statistics = geometry;
  const double statistics[6] = {5, -2.5, 6, 0.1, 1e-30, -9999};
  for (std::size_t k = 0; k < 6; ++k) with_statistics[6 + k] = statistics[k];
  struct Case {
    std::string grid;                    // file name
    std::string bytes;                   // its contents
    std::vector<std::string> options;
    std::optional<std::string> before;   // a sidecar that exists already
    int code;
    std::string says;                    // standard output on success, part of the error otherwise
    std::optional<std::string> after;    // the sidecar afterwards; nothing: still absent
  } cases[] = {
      {"g.flt", single_grid(geometry, cells), {}, {}, 0, "wrote %.hdr\n", kSingleSidecar},
      {"g.dbl", double_grid(geometry, cells), {}, {}, 0, "wrote %.hdr\n", kDoubleSidecar},
      {"g.flt", single_grid(geometry, cells), {"-f"}, "old", 0, "wrote %.hdr\n", kSingleSidecar},
      {"g.flt", single_grid(geometry, cells), {"--force"}, "old", 0, "wrote %.hdr\n", kSingleSidecar},
      {"g.flt", single_grid(geometry, cells), {}, "old", 1, "g.hdr exists; give -f to replace it", "old"},
      {"g.asc", text_grid(geometry, cells), {}, {}, 1, "g.asc is a text grid: GDAL, QGIS and ArcGIS open it", {}},
      {"g.bin", "not a grid, whatever its length may be", {}, {}, 1, "g.bin is not a grid plotveil reads", {}},
      {"g.flt", single_grid(geometry, cells).substr(0, 40), {}, {}, 1, "cannot read the whole header of", {}},
      {"g.flt", single_grid(geometry, cells).substr(0, 70), {}, {}, 1,
       "g.flt: it holds 70 bytes, its header describes 72 (an unfinished grid?)", {}},
      // Which headers are refused is unit-tested (Sidecar); here, the message.
      {"g.dbl", double_grid(binary_header(2.5, 2, 0, 0, 1), {{1, 2}, {3, 4}}), {}, {}, 1,
       "no sidecar for %.dbl: ncols 2.5 is not a whole number from 1 to 2147483646", {}},
      // The statistics, named, in the text that reads back as the stored value.
      {"g.flt", single_grid(with_statistics, cells), {"--stats"}, {}, 0,
       "grid %.flt\ncount 5\nminimum -2.5\nmaximum 6\nsum 0.1\nmean 1e-30\nstandard_deviation -9999\n", {}},
      {"g.dbl", double_grid(with_statistics, cells), {"--stats"}, {}, 0,
       "grid %.dbl\ncount 5\nminimum -2.5\nmaximum 6\nsum 0.1\nmean 1e-30\nstandard_deviation -9999\n", {}},
      {"g.asc", text_grid(geometry, cells), {"--stats"}, {}, 1, "g.asc is a text grid: text grids carry no statistics", {}},
      // A grid cut short holds the statistics of another run, or none.
      {"g.flt", single_grid(with_statistics, cells).substr(0, 70), {"--stats"}, {}, 1,
       "no statistics for %.flt: it holds 70 bytes, its header describes 72 (an unfinished grid?)", {}},
      {"g.dbl", double_grid(with_statistics, cells) + "x", {"--stats"}, {}, 1,
       "no statistics for %.dbl: it holds 145 bytes, its header describes 144", {}},
      // Sizes a sidecar cannot describe, in a grid a run finished: its rows as the run counts them.
      {"g.flt", single_grid(binary_header(2.5, 2.7, 0, 0, 0), {{1, 2}, {3, 4}}), {"--stats"}, {}, 0,
       "grid %.flt\ncount 0\nminimum 0\nmaximum 0\nsum 0\nmean 0\nstandard_deviation 0\n", {}},
      {"g.dbl", double_grid(binary_header(3, 0), {}), {"--stats"}, {}, 0,
       "grid %.dbl\ncount 0\nminimum 0\nmaximum 0\nsum 0\nmean 0\nstandard_deviation 0\n", {}},
      {"g.dbl", double_grid(geometry, cells), {"--stats", "-f"}, {}, 2, "-f has no place beside it", {}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::string grid = dir.write(c.grid, c.bytes);
    std::string sidecar = dir.file("g.hdr");
    std::string stem = dir.file("g");
    if (c.before) write_file(sidecar, *c.before);
    std::vector<std::string> args = c.options;
    args.push_back(grid);
    RunResult run = run_hdr(args);
    std::string says = c.says;
    if (says.find('%') != std::string::npos) says.replace(says.find('%'), 1, stem);
    SCOPED_TRACE(c.grid + " " + says);
    EXPECT_EQ(run.exit_code, c.code);
    if (c.code == 0) {
      EXPECT_EQ(run.out, console_text(says));
      EXPECT_EQ(run.err, "");
    } else {
      EXPECT_EQ(run.out, "");
      EXPECT_NE(run.err.find("plotveil-hdr: "), std::string::npos) << run.err;
      EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
    }
    EXPECT_EQ(read_file(grid), c.bytes) << "the grid is never changed";
    if (c.after) {
      EXPECT_EQ(read_file(sidecar), *c.after);
    } else {
      EXPECT_FALSE(file_exists(sidecar));
    }
  }
}

TEST(SidecarCommand, NeverWritesOverTheGridItselfNorThroughALink) {
  TempDir dir;
  std::string bytes = single_grid(binary_header(1, 1), {{5}});
  std::string named_hdr = dir.write("x.hdr", bytes);
  std::string linked = dir.write("y.flt", bytes);
  ASSERT_EQ(::symlink(linked.c_str(), dir.file("y.hdr").c_str()), 0);
  for (const std::string& grid : {named_hdr, linked}) {
    RunResult run = run_hdr({"-f", grid});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("would be the grid itself"), std::string::npos) << run.err;
    EXPECT_EQ(read_file(grid), bytes);
  }

  // -f replaces a link to another grid's sidecar with a file; the target stays.
  std::string grid = dir.write("z.flt", bytes);
  std::string other = dir.write("other.hdr", "another grid's header");
  ASSERT_EQ(::symlink(other.c_str(), dir.file("z.hdr").c_str()), 0);
  RunResult run = run_hdr({"-f", grid});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(read_file(other), "another grid's header");
  EXPECT_FALSE(fs::is_symlink(dir.file("z.hdr")));
  EXPECT_EQ(read_file(dir.file("z.hdr")).substr(0, 14), "BYTEORDER     ");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 6) << "no file left beside";
}

TEST(SidecarCommand, AFailedWriteIsReportedAndLeavesNoSidecar) {
  TempDir dir;
  std::string grid = dir.write("g.flt", single_grid(binary_header(1, 1), {{5}}));
  RunResult run;
  // A disk that fills: the new sidecar, and the one it would replace, are not left behind half written.
  for (const bool existing : {false, true}) {
    SCOPED_TRACE(existing ? "replacing" : "new");
    if (existing) write_file(dir.file("g.hdr"), "old");
    RunOptions options;
    options.binary = sidecar_tool_path();
    options.file_size_limit = 20;
    run = run_tool({"-f", grid}, options);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("error writing " + dir.file("g.hdr") + " (removed)"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(fs::exists(dir.file("g.hdr")), existing);
    if (existing) {
      EXPECT_EQ(read_file(dir.file("g.hdr")), "old");
    }
    EXPECT_FALSE(fs::exists(dir.file("g.hdr.new")));
  }

  // A folder in the sidecar's place is not replaced.
  std::string other = dir.write("h.flt", single_grid(binary_header(1, 1), {{5}}));
  ASSERT_EQ(::mkdir(dir.file("h.hdr").c_str(), 0755), 0);
  run = run_hdr({"-f", other});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("cannot replace " + dir.file("h.hdr") + " (it is left as it was)"), std::string::npos) << run.err;
}

TEST(SidecarCommand, OptionsAndSeveralGrids) {
  RunResult help = run_hdr({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.out.rfind(console_text("usage: plotveil-hdr [-f] <grid>...\n"), 0), 0u) << help.out;
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(run_hdr({"-h", "whatever"}).exit_code, 0);
  RunResult version = run_hdr({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, console_text("plotveil-hdr " PLOTVEIL_VERSION "\n"));
  EXPECT_EQ(version.err, "");

  RunResult none = run_hdr({});
  EXPECT_EQ(none.exit_code, 2);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err.rfind("usage: plotveil-hdr", 0), 0u) << none.err;
  RunResult unknown = run_hdr({"-x", "g.flt"});
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_EQ(unknown.err.rfind(console_text("plotveil-hdr: unknown option -x\nusage:"), 0), 0u) << unknown.err;

  // After "--" a name may begin with '-'; one refused grid does not stop the others.
  TempDir dir;
  std::string bytes = single_grid(binary_header(1, 1), {{5}});
  dir.write("-a.flt", bytes);
  dir.write("b.flt", bytes);
  RunOptions options;
  options.binary = sidecar_tool_path();
  options.working_dir = dir.path();
  RunResult several = run_tool({"--", "-a.flt", "missing.flt", "b.flt"}, options);
  EXPECT_EQ(several.exit_code, 1);
  EXPECT_EQ(several.out, console_text("wrote -a.hdr\nwrote b.hdr\n"));
  EXPECT_EQ(several.err, console_text("plotveil-hdr: cannot open missing.flt (missing, unreadable or not a regular file)\n"));

  // Grids whose sidecar is one file: refused before anything is written, even with -f.
  dir.write("b.dbl", double_grid(binary_header(1, 1), {{5}}));
  RunResult shared = run_tool({"-f", "--", "-a.flt", "./b.flt", "b.dbl"}, options);
  EXPECT_EQ(shared.exit_code, 1);
  EXPECT_EQ(shared.out, "");
  EXPECT_EQ(shared.err.rfind(console_text("plotveil-hdr: ./b.flt and b.dbl have one sidecar, b.hdr: nothing written"), 0), 0u)
      << shared.err;
  EXPECT_NE(read_file(dir.file("b.hdr")).find("NBITS         32"), std::string::npos) << "b.flt's sidecar as it was";
  if (!windows_tool()) {
    // On Linux a backslash is part of a name, not a folder's end.
    dir.write("c\\g.flt", bytes);
    dir.write("c\\g.dbl", double_grid(binary_header(1, 1), {{5}}));
    RunResult joined = run_tool({"c\\g.flt", "./c\\g.dbl"}, options);
    EXPECT_EQ(joined.exit_code, 1);
    EXPECT_EQ(joined.out, "");
    EXPECT_FALSE(file_exists(dir.file("c\\g.hdr")));
  }
}

}  // namespace
}  // namespace plotveil_e2e
