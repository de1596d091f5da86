// Running statistics of the output cells: count, minimum, maximum, sum, mean
// and sample standard deviation of the cells more than one unit above the
// no-data value, kept in one pass as plain double sums in cell order.
#pragma once

#include <bit>
#include <cstdint>
#include <limits>

#include "grid/grid_types.hpp"

namespace plotveil {

struct GridStatistics {
  double count = 0;
  double min = 0;
  double max = 0;
  double sum = 0;
  double sum_of_squares = 0;
  double threshold = 0;
};

// Empties the sums and sets the threshold; min and max keep what they hold
// until the first counted value sets both.
void reset(GridStatistics& stats, double threshold);

// `a` where `take_a`, else `b`, as bits and without a branch: masked grids make
// such choices unpredictable, and a NaN's bits pass unchanged.
inline double select(bool take_a, double a, double b) {
  const std::uint64_t mask = 0 - static_cast<std::uint64_t>(take_a);
  return std::bit_cast<double>((std::bit_cast<std::uint64_t>(a) & mask) |
                               (std::bit_cast<std::uint64_t>(b) & ~mask));
}

// Adds v when v > threshold + 1 (never a NaN). A value that does not count
// adds +0.0, which leaves every sum as it is (a sum that starts at +0.0 never
// becomes -0.0), so the sums stay those of the counted values in cell order.
inline void accumulate(GridStatistics& stats, double v) {
  const bool counted = v > stats.threshold + 1.0;
  const double added = select(counted, v, 0.0);
  stats.sum = stats.sum + added;
  stats.count = stats.count + select(counted, 1.0, 0.0);
  stats.sum_of_squares = stats.sum_of_squares + added * added;
  // The first counted value sets both; a later one moves min down or else max
  // up. Since min <= max from the first on, "else" changes nothing, and a value
  // not counted compares as +inf for min and -inf for max, so both become
  // plain minimum and maximum steps; only the first value, once, takes a branch.
  const double low = select(counted, v, std::numeric_limits<double>::infinity());
  const double high = select(counted, v, -std::numeric_limits<double>::infinity());
  stats.min = low < stats.min ? low : stats.min;
  stats.max = high > stats.max ? high : stats.max;
  if (counted & (stats.count == 1.0)) {
    stats.min = v;
    stats.max = v;
  }
}

// Stores count, min, max, sum, mean and deviation at header indexes 7 to 12.
// An undefined mean (no value) or deviation (fewer than three) is -9999.
void finalise(const GridStatistics& stats, GridHeader& header);

}  // namespace plotveil
