// Running statistics of the output cells: count, minimum, maximum, sum, mean
// and sample standard deviation of the cells more than one unit above the
// no-data value, kept in one pass as plain double sums in cell order.
#pragma once

#include <string>

#include "grid/byte_streams.hpp"
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

// Adds v when v > threshold + 1 (never a NaN). Written without branches on the
// data, which masked grids make unpredictable: a value that does not count
// adds +0.0, which leaves every sum as it is (a sum that starts at +0.0 never
// becomes -0.0), so the sums stay those of the counted values in cell order.
inline void accumulate(GridStatistics& stats, double v) {
  const bool counted = v > stats.threshold + 1.0;
  const double added = counted ? v : 0.0;
  stats.sum = stats.sum + added;
  stats.count = stats.count + (counted ? 1.0 : 0.0);
  stats.sum_of_squares = stats.sum_of_squares + added * added;
  // The first counted value sets both; later ones move min down or else max up.
  const bool first = counted && stats.count == 1.0;
  const bool lower = counted && v < stats.min;
  const bool higher = counted && !lower && v > stats.max;
  stats.min = first || lower ? v : stats.min;
  stats.max = first || higher ? v : stats.max;
}

// Stores count, min, max, sum, mean and deviation at header indexes 7 to 12.
// An undefined mean (no value) or deviation (fewer than three) is -9999.
void finalise(const GridStatistics& stats, GridHeader& header);

// For a binary output: finalises into `header` and writes indexes 7 to 12 over
// the statistics fields of the output's header (bytes 24-47 single, 48-95
// double). A failed seek or write ends the run with code 4. A text output
// stores nothing.
void store_statistics(OutStream& out, OutputFormat format, GridHeader& header,
                      const GridStatistics& stats, const std::string& out_name);

}  // namespace plotveil
