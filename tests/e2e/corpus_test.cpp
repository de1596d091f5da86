// Real text grids written by other software, each masked by the mask beside
// it (name.mask.asc): each pair ends as the tool's reading rules say.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "expectations.hpp"
#include "tool_runner.hpp"

namespace plotveil_e2e {
namespace {

std::string corpus(const std::string& name) { return std::string(PLOTVEIL_CORPUS_DIR) + "/" + name; }

struct TextGrid {
  std::vector<double> header;  // the six numbers, by position
  std::vector<double> cells;
};

// Whitespace-separated words: six keyword and number pairs, then the cells;
// a sixth word that is a number starts the cells of a five-line header, whose
// no-data value is -9999.
TextGrid parse(const std::string& text) {
  std::istringstream words(text);
  TextGrid grid;
  std::string word;
  while (grid.header.size() < 6 && words >> word) {
    if (grid.header.size() == 5 && word.find_first_of("0123456789+-.") == 0) {
      grid.header.push_back(-9999);
      grid.cells.push_back(std::strtod(word.c_str(), nullptr));
    } else if (words >> word) {
      grid.header.push_back(std::strtod(word.c_str(), nullptr));
    }
  }
  while (words >> word) grid.cells.push_back(std::strtod(word.c_str(), nullptr));
  return grid;
}

std::vector<std::string> split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  for (;;) {
    std::size_t next = text.find(separator, at);
    if (next == std::string::npos) {
      parts.push_back(text.substr(at));
      return parts;
    }
    parts.push_back(text.substr(at, next - at));
    at = next + separator.size();
  }
}

struct CleanGrid {
  const char* name;
  int ncols;
  int nrows;
  const char* nodata_text;  // how the output writes the no-data value
};

class CleanCorpusGrid : public ::testing::TestWithParam<CleanGrid> {};

TEST_P(CleanCorpusGrid, MasksToText) {
  const CleanGrid& c = GetParam();
  const std::string grid = corpus(std::string(c.name) + ".asc");
  const std::string mask = corpus(std::string(c.name) + ".mask.asc");
  TempDir dir;
  const std::string out = dir.file("out.asc");
  expect_run(run_tool({grid, mask, out}), 0, dots(c.nrows));

  const TextGrid source = parse(read_file(grid));
  const TextGrid veil = parse(read_file(mask));
  ASSERT_EQ(source.header.size(), 6u);
  ASSERT_GE(source.cells.size(), static_cast<std::size_t>(c.ncols) * c.nrows);
  ASSERT_GE(veil.cells.size(), static_cast<std::size_t>(c.ncols) * c.nrows);
  const double nodata = source.header[5];

  const std::string text = read_file(out);
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  std::vector<std::string> lines = split(text.substr(0, text.size() - 2), "\r\n");
  ASSERT_EQ(lines.size(), 6u + c.nrows);
  EXPECT_EQ(lines[0], "ncols\t" + std::to_string(c.ncols));
  EXPECT_EQ(lines[1], "nrows\t" + std::to_string(c.nrows));
  EXPECT_EQ(lines[5], std::string("nodata_value\t") + c.nodata_text);

  int masked = 0;
  int passed = 0;
  for (int r = 0; r < c.nrows; ++r) {
    std::vector<std::string> cells = split(lines[6 + r], "\t");
    ASSERT_EQ(cells.size(), static_cast<std::size_t>(c.ncols)) << "row " << r + 1;
    for (int col = 0; col < c.ncols; ++col) {
      const std::size_t i = static_cast<std::size_t>(r) * c.ncols + col;
      if (veil.cells[i] <= nodata) {
        ++masked;
        ASSERT_EQ(cells[col], c.nodata_text) << "row " << r + 1 << ", col " << col + 1;
      } else {
        ++passed;
        // Six significant digits of the source's value.
        const double written = std::strtod(cells[col].c_str(), nullptr);
        ASSERT_NEAR(written, source.cells[i], 5e-6 * std::fabs(source.cells[i]) + 1e-300)
            << "row " << r + 1 << ", col " << col + 1 << ": " << cells[col];
      }
    }
  }
  EXPECT_GT(masked, 0);
  EXPECT_GT(passed, 0);
}

// GoogleTest and CTest's test names show this, not the bytes of the struct.
void PrintTo(const CleanGrid& grid, std::ostream* os) { *os << grid.name; }

INSTANTIATE_TEST_SUITE_P(
    Corpus, CleanCorpusGrid,
    ::testing::Values(CleanGrid{"arcgis_hugo_crlf_trailblank", 76, 55, "-9999"},
                      CleanGrid{"gdal1_bijou_padded_manydigits", 43, 89, "0"},
                      CleanGrid{"gdal_win_curvature_exp3_nofinaleol", 108, 156, "-9999"},
                      CleanGrid{"geotop_dem_crlf_nofinaleol", 33, 55, "-9999"},
                      CleanGrid{"handmade_tabs_trailing_tabs", 8, 11, "-9999"},
                      CleanGrid{"landlab_old_writer_no_nodata_line", 76, 55, "-9999"},
                      CleanGrid{"mhm_tab_header_landcover", 240, 240, "-9999"},
                      // Upper-case keywords; a no-data value six digits do not hold.
                      CleanGrid{"r_raster_dem_upper_trailblank", 117, 117, "-2147483647"},
                      CleanGrid{"saga_upper_fixed4", 10, 10, "-99999"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CorpusBinaryOutput, StatisticsOfTheMaskedCells) {
  const std::string grid = corpus("mhm_tab_header_landcover.asc");
  const std::string mask = corpus("mhm_tab_header_landcover.mask.asc");
  TempDir dir;
  const std::string out = dir.file("out.dbl");
  expect_run(run_tool({grid, mask, out, "-f:d"}), 0, dots(240));
  const std::string bytes = read_file(out);
  ASSERT_EQ(bytes.size(), (12u + 240 * 240) * 8);

  const TextGrid source = parse(read_file(grid));
  const TextGrid veil = parse(read_file(mask));
  const double nodata = source.header[5];
  double count = 0, min = 0, max = 0, sum = 0, squares = 0;
  for (std::size_t i = 0; i < 240u * 240; ++i) {
    const double cell = veil.cells[i] <= nodata ? nodata : source.cells[i];
    ASSERT_EQ(double_at(bytes, 12 + i), cell) << "cell " << i;
    if (!(cell > nodata + 1)) continue;
    min = count == 0 ? cell : std::min(min, cell);
    max = count == 0 ? cell : std::max(max, cell);
    count += 1;
    sum += cell;
    squares += cell * cell;
  }
  ASSERT_GT(count, 2);
  EXPECT_EQ(double_at(bytes, 6), count);
  EXPECT_EQ(double_at(bytes, 7), min);
  EXPECT_EQ(double_at(bytes, 8), max);
  EXPECT_EQ(double_at(bytes, 9), sum);
  EXPECT_EQ(double_at(bytes, 10), sum / count);
  EXPECT_NEAR(double_at(bytes, 11), std::sqrt((squares - sum * sum / count) / (count - 1)), 1e-9);
}

TEST(CorpusFailures, EachEndsWithItsMessage) {
  TempDir dir;
  const std::string out = dir.file("out.asc");
  auto run_pair = [&](const std::string& name) {
    return run_tool({corpus(name + ".asc"), corpus(name + ".mask.asc"), out});
  };
  auto unrecognised = [](const std::string& path) {
    return "could not recognise file format (ascii, single or double) for " + path + "\n";
  };

  // A text grid begins with "ncol" in any letter case: "NROWS" first is no grid.
  const std::string landlab = corpus("landlab_new_writer_reordered_center.asc");
  expect_run(run_pair("landlab_new_writer_reordered_center"), 98, unrecognised(landlab));
  // Cells that are not square (DX, DY) fit no header.
  const std::string tin = corpus("qgis_tin_dx_dy_header.asc");
  expect_run(run_pair("qgis_tin_dx_dy_header"), 1, "error reading fiel header from " + tin + "\n");

  // Cells written "-nan": the first one stands in row 2, column 30.
  const std::string nan_grid = corpus("geotop_output_minus_nan_MALFORMED.asc");
  expect_run(run_pair("geotop_output_minus_nan_MALFORMED"), 5,
             ".error reading from " + nan_grid + " in row 2 (29 values read)\n");
  const std::string partial = read_file(out);
  EXPECT_EQ(split(partial, "\r\n").size(), 6u + 1 + 1) << "the header and row 1";
}

}  // namespace
}  // namespace plotveil_e2e
