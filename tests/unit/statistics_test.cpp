#include "stats/statistics.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <random>
#include <vector>

#include "stats/masking.hpp"

namespace plotveil {
namespace {

// Header indexes 7 to 12 (count, minimum, maximum, sum, mean, deviation)
// after feeding `values` with no-data value `nodata`, as bits.
std::vector<std::uint64_t> finalised(std::initializer_list<double> values, double nodata) {
  GridStatistics stats;
  reset(stats, nodata);
  for (double v : values) accumulate(stats, v);
  GridHeader header;
  finalise(stats, header);
  std::vector<std::uint64_t> bits;
  for (int k = 7; k <= 12; ++k) bits.push_back(std::bit_cast<std::uint64_t>(header.value[k]));
  return bits;
}

TEST(Statistics, FinaliseTheCountedValues) {
  const double inf = std::numeric_limits<double>::infinity();
  const double x86_nan = std::bit_cast<double>(std::uint64_t{0xFFF8000000000000});
  struct Case {
    const char* what;
    std::initializer_list<double> values;
    double nodata;
    double expected[6];
  };
  const Case cases[] = {
      // An undefined mean (no value) or deviation (fewer than three) is -9999.
      {"none", {}, -9999, {0, 0, 0, 0, -9999, -9999}},
      {"one", {7.5}, -9999, {1, 7.5, 7.5, 7.5, 7.5, -9999}},
      {"two", {4, 2}, -9999, {2, 2, 4, 6, 3, -9999}},
      {"the sample deviation from three on", {1, 2, 3}, -9999, {3, 1, 3, 6, 2, 1}},
      {"equal values, no spread", {5, 5, 5}, -9999, {3, 5, 5, 15, 5, 0}},
      {"the minimum is a counted value, not the initial zero", {30, 10, 20, 10, 40}, -9999,
       {5, 10, 40, 110, 22, std::sqrt(170.0)}},
      // Counted: more than one above the no-data value; never NaN.
      {"1 is not counted above 0, 1.5 is", {1.0, 1.5, -3.0, std::nan("")}, 0, {1, 1.5, 1.5, 1.5, 1.5, -9999}},
      {"a NaN no-data value counts nothing", {10, 20, 30}, std::nan(""), {0, 0, 0, 0, -9999, -9999}},
      {"a sum of squares that overflows gives no spread", {1e200, 1e200, 1e200}, -9999,
       {3, 1e200, 1e200, 3e200, 1e200, 0}},
      // +inf meets -inf in the sum: sum and mean are the NaN of invalid
      // arithmetic as x86-64 makes it, with its sign set, on every processor.
      {"infinities meeting", {-1.7e308, -1.7e308, inf, 5}, -inf, {4, -1.7e308, inf, x86_nan, x86_nan, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint64_t> expected;
    for (double v : c.expected) expected.push_back(std::bit_cast<std::uint64_t>(v));
    EXPECT_EQ(finalised(c.values, c.nodata), expected);
  }
}

TEST(Statistics, ResetKeepsMinimumAndMaximumUntilTheFirstCountedValue) {
  GridStatistics stats;
  stats.min = -5;
  stats.max = 99;
  reset(stats, 0);
  GridHeader header;
  finalise(stats, header);
  EXPECT_EQ(header.value[8], -5);
  EXPECT_EQ(header.value[9], 99);
  accumulate(stats, 50);
  finalise(stats, header);
  EXPECT_EQ(header.value[8], 50);
  EXPECT_EQ(header.value[9], 50);
}

}  // namespace
}  // namespace plotveil

namespace plotveil {
namespace {

// The rule, as plainly as it can be written.
void accumulate_plainly(GridStatistics& s, double v) {
  if (!(v > s.threshold + 1.0)) return;
  s.sum = s.sum + v;
  s.count = s.count + 1.0;
  s.sum_of_squares = s.sum_of_squares + v * v;
  if (s.count == 1.0) {
    s.min = v;
    s.max = v;
  } else if (v < s.min) {
    s.min = v;
  } else if (v > s.max) {
    s.max = v;
  }
}

TEST(Statistics, AccumulateKeepsThePlainRuleToTheBit) {
  std::mt19937_64 random(5);
  const double specials[] = {-9999.0, -9998.0, -9997.5, 0.0, -0.0, INFINITY, -INFINITY,
                             std::nan(""), 1e308, -1e308, 5e-324};
  const double thresholds[] = {-9999.0, 0.0, -1.0, -INFINITY, INFINITY};
  for (double threshold : thresholds) {
    GridStatistics fast, plain;
    fast.min = plain.min = 3;
    fast.max = plain.max = -3;
    reset(fast, threshold);
    reset(plain, threshold);
    for (int i = 0; i < 200'000; ++i) {
      double v = random() % 4 == 0 ? specials[random() % 11]
                                   : static_cast<double>(static_cast<std::int64_t>(random() % 2'000'000) - 1'000'000) / 7.0;
      accumulate(fast, v);
      accumulate_plainly(plain, v);
    }
    for (auto field : {&GridStatistics::count, &GridStatistics::min, &GridStatistics::max,
                       &GridStatistics::sum, &GridStatistics::sum_of_squares}) {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(fast.*field), std::bit_cast<std::uint64_t>(plain.*field))
          << "threshold " << threshold;
    }
  }
}

}  // namespace
}  // namespace plotveil

namespace plotveil {
namespace {

// Whole rows must give the output cells, their texts and statistics of the
// plain rule, cell by cell, from any starting state and over many rows: a
// mask cell at or below N gives N, above it or NaN grid_1's cell, whose bits
// pass unchanged (a signalling NaN too). The rule's outcomes on given grids
// are checked end to end (EncodingCombinations, NanMaskLetsGridValuePass...).
TEST(Masking, RowsKeepThePlainRuleToTheBit) {
  std::mt19937_64 random(6);
  const double n = -9999;
  const double specials[] = {n, n + 1, n + 1.5, n - 1, 0.0, -0.0, INFINITY, -INFINITY,
                             std::bit_cast<double>(0x7FF8000000000123ULL),
                             std::bit_cast<double>(0x7FF0000000000001ULL), 1e308, 5e-324};
  auto cell = [&]() {
    return random() % 5 == 0 ? specials[random() % 12]
                             : static_cast<double>(static_cast<std::int64_t>(random() % 20'000'000) - 10'000'000) / 1000.0;
  };
  for (int start = 0; start < 3; ++start) {
    GridStatistics row_wise, plain;
    row_wise.min = plain.min = start == 1 ? 7 : -2;
    row_wise.max = plain.max = start == 1 ? -7 : 4;
    reset(row_wise, n);
    reset(plain, n);
    for (int r = 0; r < 200; ++r) {
      const int width = static_cast<int>(random() % 300);
      std::vector<double> grid(width + 1), mask(width + 1), out(width + 1);
      // Rows of only masked cells keep the statistics empty for a while.
      const bool masked_row = start == 2 && r < 20;
      // Then rows of zeros of both signs, each from empty statistics: the
      // first of equal values is the minimum and the maximum, whichever way
      // cells are taken together.
      const bool zeros_row = start == 2 && r >= 20 && r < 120;
      if (zeros_row) {
        reset(row_wise, n);
        reset(plain, n);
      }
      for (int c = 1; c <= width; ++c) {
        grid[c] = zeros_row ? (random() % 2 ? 0.0 : -0.0) : cell();
        mask[c] = masked_row ? n : cell();
      }
      // Rows in turn without texts, with grid_1's texts, and with no-data's only.
      std::vector<std::uint64_t> grid_texts(width + 1), out_texts(width + 1);
      for (int c = 1; c <= width; ++c) grid_texts[c] = random();
      const std::uint64_t nodata_text = 0x39393939392DULL;  // "-9999"
      const int texts = r % 3;
      if (texts == 0) {
        mask_row(grid.data(), mask.data(), out.data(), width, n, row_wise);
      } else {
        mask_row(grid.data(), texts == 1 ? grid_texts.data() : nullptr, mask.data(), out.data(), out_texts.data(),
                 width, n, nodata_text, row_wise);
      }
      for (int c = 1; c <= width; ++c) {
        const double expected = n >= mask[c] ? n : grid[c];
        ASSERT_EQ(std::bit_cast<std::uint64_t>(out[c]), std::bit_cast<std::uint64_t>(expected));
        if (texts > 0) {
          ASSERT_EQ(out_texts[c], n >= mask[c] ? nodata_text : texts == 1 ? grid_texts[c] : 0);
        }
        accumulate_plainly(plain, expected);
      }
      for (auto field : {&GridStatistics::count, &GridStatistics::min, &GridStatistics::max,
                         &GridStatistics::sum, &GridStatistics::sum_of_squares}) {
        ASSERT_EQ(std::bit_cast<std::uint64_t>(row_wise.*field), std::bit_cast<std::uint64_t>(plain.*field))
            << "start " << start << " row " << r;
      }
    }
  }
}

}  // namespace
}  // namespace plotveil
