// Opening and recognising the two inputs: every failure here comes before the
// output is opened, so an existing output keeps its bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "expectations.hpp"
#include "tool_runner.hpp"

namespace plotveil_e2e {
namespace {

const std::string kKeep = "bytes that must survive";

std::string cannot_open(const std::string& name) { return "could not open input file " + name + "\n"; }
std::string unrecognised(const std::string& name) {
  return "could not recognise file format (ascii, single or double) for " + name + "\n";
}

class Inputs : public ::testing::Test {
 protected:
  TempDir dir;
  std::string good = dir.write("good.asc", text_grid(binary_header(1, 1), {{1}}));
  std::string junk = dir.write("junk.bin", std::string(200, 'x'));
  std::string missing = dir.file("missing.asc");
  std::string out = dir.write("out.asc", kKeep);

  void expect_failure(const std::string& grid_1, const std::string& grid_2, const std::string& message) {
    expect_run(run_tool({grid_1, grid_2, out}), 98, message);
    EXPECT_EQ(read_file(out), kKeep) << "the output was touched";
  }
};

TEST_F(Inputs, MissingInputIsNamed) {
  expect_failure(missing, good, cannot_open(missing));
  expect_failure(good, missing, cannot_open(missing));
  expect_failure("", good, cannot_open(""));
}

TEST_F(Inputs, MissingOutputIsNotCreatedWhenAnInputFails) {
  std::string fresh = dir.file("fresh.asc");
  expect_run(run_tool({missing, good, fresh}), 98, cannot_open(missing));
  expect_run(run_tool({good, junk, fresh}), 98, unrecognised(junk));
  EXPECT_FALSE(file_exists(fresh));
}

TEST_F(Inputs, FirstInputIsSettledBeforeTheSecondIsOpened) {
  expect_failure(junk, missing, unrecognised(junk));
  expect_failure(junk, dir.path().string(), unrecognised(junk));
}

TEST_F(Inputs, DirectoryIsNotAnInput) {
  const std::string folder = dir.path().string();
  expect_failure(folder, good, cannot_open(folder));
  expect_failure(good, folder, cannot_open(folder));
}

TEST_F(Inputs, UnrecognisedContentIsNamed) {
  const BinaryHeader almost = binary_header(1, 1, 0, 0, 1, -9999.5);
  BinaryHeader nan_nodata = binary_header(1, 1);
  nan_nodata[5] = std::numeric_limits<double>::quiet_NaN();
  double nodata_off_by_one_bit = -9999;
  std::uint64_t bits;
  std::memcpy(&bits, &nodata_off_by_one_bit, sizeof bits);
  bits ^= 1;
  std::memcpy(&nodata_off_by_one_bit, &bits, sizeof bits);

  const std::vector<std::pair<const char*, std::string>> files = {
      {"empty", ""},
      {"three letters", "nco"},
      {"leading blank", " ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -9999\n1\n"},
      {"byte-order mark", "\xEF\xBB\xBF" + text_grid(binary_header(1, 1), {{1}})},
      {"double, nodata -9999.5", double_grid(almost, {{1}})},
      {"single, nodata -9999.5", single_grid(almost, {{1}})},
      {"double, nodata NaN", double_grid(nan_nodata, {{1}})},
      {"single, nodata NaN", single_grid(nan_nodata, {{1}})},
      {"double, nodata -9999 with its lowest bit changed",
       double_grid(binary_header(1, 1, 0, 0, 1, nodata_off_by_one_bit), {{1}})},
      // The single-precision -9999 at bytes 20 to 23 of a file shorter than 24.
      {"23 bytes", std::string(20, '\0') + "\x00\x3C\x1C"},
  };
  for (const auto& [what, bytes] : files) {
    SCOPED_TRACE(what);
    std::string path = dir.write("probe", bytes);
    expect_failure(path, good, unrecognised(path));
    expect_failure(good, path, unrecognised(path));
  }
}

TEST_F(Inputs, EncodingsAreRecognisedByTheirFirstBytes) {
  const BinaryHeader header = binary_header(1, 1);
  // "ncol" followed by anything is a text grid.
  std::string ncolumns = dir.write("ncolumns.asc", "ncolumns 1\nnrows 1\nxllcorner 0\nyllcorner 0\n"
                                                   "cellsize 1\nnodata_value -9999\n7\n");
  std::string single = dir.write("g.flt", single_grid(header, {{7}}));
  std::string dbl = dir.write("g.dbl", double_grid(header, {{7}}));
  // A double grid whose bytes 20 to 23 also form the single-precision -9999.
  BinaryHeader both = header;
  std::string both_bytes = double_grid(both, {{7}});
  both_bytes.replace(20, 4, single_bytes(-9999.0f));
  std::string dbl_too = dir.write("both.dbl", both_bytes);
  const double xll = double_at(both_bytes, 2);

  for (const std::string& grid : {ncolumns, single, dbl}) {
    SCOPED_TRACE(grid);
    expect_run(run_tool({grid, good, dir.file("o.dbl"), "-f:d"}), 0, dots(1));
    EXPECT_EQ(double_at(read_file(dir.file("o.dbl")), 12), 7.0);
  }
  // Read as double, its odd xllcorner must meet a grid with the same one.
  std::string partner = dir.write("partner.dbl", double_grid(binary_header(1, 1, xll), {{3}}));
  expect_run(run_tool({dbl_too, partner, dir.file("o.dbl"), "-f:d"}), 0, dots(1));
  EXPECT_EQ(double_at(read_file(dir.file("o.dbl")), 12), 7.0);
}

TEST_F(Inputs, SameFileAsBothInputsIsAccepted) {
  expect_run(run_tool({good, good, out}), 0, dots(1));
}

// Names in Greek, Chinese and accented Latin, in a folder of such a name, from
// the command line and as the answer to the prompt.
TEST_F(Inputs, NamesInAnyScriptOpen) {
  const fs::path folder = dir.path() / "Δεδομένα 地形 é";
  fs::create_directory(folder);
  const std::string grid = (folder / "höhe.asc").string();
  write_file(grid, read_file(good));
  const std::string masked = (folder / "маска_掩膜.asc").string();
  expect_run(run_tool({grid, grid, masked}), 0, dots(1));
  const std::string expected = read_file(masked);
  EXPECT_EQ(expected.substr(0, 9), "ncols\t1\r\n");

  RunOptions options;
  options.input = (folder / "ответ.asc").string() + "\n";
  const std::string unreachable = (folder / "нет" / "x.asc").string();
  expect_run(run_tool({grid, masked, unreachable}, options), 0,
             "error opening output grid " + unreachable + " \r\nplease enter new output file name: \r\n" +
                 dots(1));
  EXPECT_EQ(read_file((folder / "ответ.asc").string()), expected);
}

}  // namespace
}  // namespace plotveil_e2e
