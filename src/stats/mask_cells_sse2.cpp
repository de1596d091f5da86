#include "stats/mask_cells.hpp"

#include <emmintrin.h>

#include <limits>

namespace plotveil::detail {

// The masking rule and `accumulate` for a whole row, in SSE2 registers: every
// choice is a bit mask, so no data turns into a branch, and NaN bits pass.
// Minimum and maximum start from +inf and -inf while nothing has been counted,
// so the first counted value sets both; a row that counts nothing leaves them
// as they were. A text is chosen by the same mask as its cell.
template <Texts kTexts>
void mask_cells(const double* grid, const std::uint64_t* grid_texts, const double* mask, double* out,
                std::uint64_t* out_texts, std::int32_t width, double nodata, std::uint64_t nodata_text,
                GridStatistics& stats) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  const bool none_yet = stats.count == 0;
  const __m128d n = _mm_set_sd(nodata);
  const __m128d bound = _mm_set_sd(stats.threshold + 1.0);
  const __m128d one = _mm_set_sd(1.0);
  const __m128d plus_inf = _mm_set_sd(inf);
  const __m128d minus_inf = _mm_set_sd(-inf);
  const __m128i n_text = _mm_cvtsi64_si128(static_cast<long long>(nodata_text));
  __m128d sum = _mm_set_sd(stats.sum);
  __m128d count = _mm_set_sd(stats.count);
  __m128d squares = _mm_set_sd(stats.sum_of_squares);
  __m128d low = _mm_set_sd(none_yet ? inf : stats.min);
  __m128d high = _mm_set_sd(none_yet ? -inf : stats.max);
  for (std::int32_t c = 1; c <= width; ++c) {
    const __m128d m = _mm_load_sd(mask + c);
    const __m128d g = _mm_load_sd(grid + c);
    const __m128d take_nodata = _mm_cmple_sd(m, n);  // N >= mask; false for a NaN mask
    const __m128d v = _mm_or_pd(_mm_and_pd(take_nodata, n), _mm_andnot_pd(take_nodata, g));
    _mm_store_sd(out + c, v);
    if constexpr (kTexts != Texts::none) {
      const __m128i take = _mm_castpd_si128(take_nodata);
      __m128i text = _mm_and_si128(take, n_text);
      if constexpr (kTexts == Texts::both) {
        const __m128i g_text = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(grid_texts + c));
        text = _mm_or_si128(text, _mm_andnot_si128(take, g_text));
      }
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out_texts + c), text);
    }
    const __m128d counted = _mm_cmpgt_sd(v, bound);  // false for NaN
    const __m128d added = _mm_and_pd(counted, v);     // +0.0 when not counted
    sum = _mm_add_sd(sum, added);
    count = _mm_add_sd(count, _mm_and_pd(counted, one));
    squares = _mm_add_sd(squares, _mm_mul_sd(added, added));
    // MINSD/MAXSD keep their second operand unless the first is lower/higher.
    low = _mm_min_sd(_mm_or_pd(added, _mm_andnot_pd(counted, plus_inf)), low);
    high = _mm_max_sd(_mm_or_pd(added, _mm_andnot_pd(counted, minus_inf)), high);
  }
  stats.sum = _mm_cvtsd_f64(sum);
  stats.count = _mm_cvtsd_f64(count);
  stats.sum_of_squares = _mm_cvtsd_f64(squares);
  if (stats.count != 0) {
    stats.min = _mm_cvtsd_f64(low);
    stats.max = _mm_cvtsd_f64(high);
  }
}

template MaskCells mask_cells<Texts::none>;
template MaskCells mask_cells<Texts::nodata>;
template MaskCells mask_cells<Texts::both>;

}  // namespace plotveil::detail
