#include "stats/statistics.hpp"

#include <cmath>

namespace plotveil {
namespace {

constexpr double kUndefined = -9999.0;

// A NaN born of arithmetic (+inf meeting -inf in the sum) takes the
// processor's default form: x86-64 sets its sign, ARM64 does not. Counted
// values are never NaN, so any NaN here is such a one; it is stored in the
// form of x86-64, the tool's home, on every processor.
double as_on_x86(double v) { return v == v ? v : std::bit_cast<double>(std::uint64_t{0xFFF8000000000000}); }

}  // namespace

void reset(GridStatistics& stats, double threshold) {
  stats.threshold = threshold;
  stats.count = 0;
  stats.sum = 0;
  stats.sum_of_squares = 0;
}

void finalise(const GridStatistics& stats, GridHeader& header) {
  header.value[7] = stats.count;
  header.value[8] = stats.min;
  header.value[9] = stats.max;
  // Only the sum and the mean can be NaN: minimum and maximum take counted
  // values, the sum of squares adds no negative term, and an undefined
  // deviation becomes 0 below.
  header.value[10] = as_on_x86(stats.sum);
  header.value[11] = as_on_x86(stats.count > 0 ? stats.sum / stats.count : kUndefined);
  if (stats.count > 2) {
    double d = stats.sum_of_squares - (stats.sum * stats.sum) / stats.count;
    header.value[12] = d > 0 ? std::sqrt(d / (stats.count - 1)) : 0.0;
  } else {
    header.value[12] = kUndefined;
  }
}

}  // namespace plotveil
