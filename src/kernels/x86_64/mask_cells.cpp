// x86-64: rows masked in SSE2 registers, which every such processor has, or
// in AVX2 registers where the processor has them.
#include <immintrin.h>

#include <limits>

#include "kernels/x86_64/forms.hpp"

namespace plotveil::detail {

// The bits set in each of 0 to 15.
constexpr std::uint8_t kBitsSet[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};

// Four cells at a time in AVX2 registers, from cell 1 while four are left:
// the same steps as two at a time below, the lower of each pair and then of
// the two pairs (the first where equal) joining the minimum. Returns the next
// cell.
template <Texts kTexts>
[[gnu::target("avx2")]] std::int32_t mask_fours(const double* grid, const std::uint64_t* grid_texts,
                                                const double* mask, double* out, std::uint64_t* out_texts,
                                                std::int32_t width, double nodata, std::uint64_t nodata_text,
                                                double threshold, __m128d& sum, __m128d& squares, __m128d& low,
                                                __m128d& high, std::uint64_t& counted_cells) {
  const __m256d n = _mm256_set1_pd(nodata);
  const __m256d bound = _mm256_set1_pd(threshold + 1.0);
  const __m256d plus_inf = _mm256_set1_pd(std::numeric_limits<double>::infinity());
  const __m256d minus_inf = _mm256_set1_pd(-std::numeric_limits<double>::infinity());
  const __m256i n_text = _mm256_set1_epi64x(static_cast<long long>(nodata_text));
  std::int32_t c = 1;
  for (; c + 3 <= width; c += 4) {
    const __m256d m = _mm256_loadu_pd(mask + c);
    const __m256d g = _mm256_loadu_pd(grid + c);
    const __m256d take_nodata = _mm256_cmp_pd(m, n, _CMP_LE_OQ);  // N >= mask; false for a NaN mask
    const __m256d v = _mm256_blendv_pd(g, n, take_nodata);
    _mm256_storeu_pd(out + c, v);
    if constexpr (kTexts != Texts::none) {
      const __m256i take = _mm256_castpd_si256(take_nodata);
      __m256i text = _mm256_and_si256(take, n_text);
      if constexpr (kTexts == Texts::both) {
        const __m256i g_text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(grid_texts + c));
        text = _mm256_blendv_epi8(g_text, n_text, take);
      }
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out_texts + c), text);
    }
    const __m256d counted = _mm256_cmp_pd(v, bound, _CMP_GT_OQ);  // false for NaN
    const __m256d added = _mm256_and_pd(counted, v);               // +0.0 when not counted
    const __m256d squared = _mm256_mul_pd(added, added);
    const __m128d added_low = _mm256_castpd256_pd128(added);
    const __m128d added_high = _mm256_extractf128_pd(added, 1);
    sum = _mm_add_sd(_mm_add_sd(_mm_add_sd(_mm_add_sd(sum, added_low), _mm_unpackhi_pd(added_low, added_low)),
                                added_high),
                     _mm_unpackhi_pd(added_high, added_high));
    const __m128d squared_low = _mm256_castpd256_pd128(squared);
    const __m128d squared_high = _mm256_extractf128_pd(squared, 1);
    squares = _mm_add_sd(
        _mm_add_sd(_mm_add_sd(_mm_add_sd(squares, squared_low), _mm_unpackhi_pd(squared_low, squared_low)),
                   squared_high),
        _mm_unpackhi_pd(squared_high, squared_high));
    counted_cells += kBitsSet[_mm256_movemask_pd(counted)];
    // MINPD/MAXPD and MINSD/MAXSD keep their second operand unless the first
    // is lower/higher: each pair's first, then the first pair's, where equal.
    const __m256d lows = _mm256_or_pd(added, _mm256_andnot_pd(counted, plus_inf));
    const __m256d highs = _mm256_or_pd(added, _mm256_andnot_pd(counted, minus_inf));
    const __m256d pair_lows = _mm256_min_pd(_mm256_unpackhi_pd(lows, lows), lows);
    const __m256d pair_highs = _mm256_max_pd(_mm256_unpackhi_pd(highs, highs), highs);
    low = _mm_min_sd(_mm_min_sd(_mm256_extractf128_pd(pair_lows, 1), _mm256_castpd256_pd128(pair_lows)), low);
    high = _mm_max_sd(_mm_max_sd(_mm256_extractf128_pd(pair_highs, 1), _mm256_castpd256_pd128(pair_highs)), high);
  }
  return c;
}

// The masking rule and `accumulate` for a whole row, in SSE2 registers (after
// mask_fours, with kFours): every choice is a bit mask, so no data turns into a
// branch, and NaN bits pass. Two cells are masked, tested and squared together;
// their values and squares then join the sums one after the other, in cell
// order. The lower of a pair (the first where they are equal, as with -0 and
// +0) joins the minimum, and so the minimum is the one taking the cells one by
// one gives; likewise the maximum. Minimum and maximum start from +inf and -inf
// while nothing has been counted, so the first counted value sets both; a row
// that counts nothing leaves them as they were. A text is chosen by the same
// mask as its cell. The count is kept as a whole number and added once, which
// is exact while the total stays below 2^53 cells; a row that could pass that
// counts one by one.
template <Texts kTexts, bool kFours>
void mask_cells_x86(const double* grid, const std::uint64_t* grid_texts, const double* mask, double* out,
                    std::uint64_t* out_texts, std::int32_t width, double nodata, std::uint64_t nodata_text,
                    GridStatistics& stats) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  const bool none_yet = stats.count == 0;
  const __m128d n = _mm_set1_pd(nodata);
  const __m128d bound = _mm_set1_pd(stats.threshold + 1.0);
  const __m128d one = _mm_set_sd(1.0);
  const __m128d plus_inf = _mm_set1_pd(inf);
  const __m128d minus_inf = _mm_set1_pd(-inf);
  const __m128i n_text = _mm_set1_epi64x(static_cast<long long>(nodata_text));
  __m128d sum = _mm_set_sd(stats.sum);
  __m128d count = _mm_set_sd(stats.count);
  __m128d squares = _mm_set_sd(stats.sum_of_squares);
  __m128d low = _mm_set_sd(none_yet ? inf : stats.min);
  __m128d high = _mm_set_sd(none_yet ? -inf : stats.max);
  std::int32_t c = 1;
  if (stats.count + width < 9007199254740992.0) {  // 2^53
    std::uint64_t counted_cells = 0;
    if constexpr (kFours) {
      c = mask_fours<kTexts>(grid, grid_texts, mask, out, out_texts, width, nodata, nodata_text, stats.threshold, sum,
                             squares, low, high, counted_cells);
    }
    for (; c < width; c += 2) {
      const __m128d m = _mm_loadu_pd(mask + c);
      const __m128d g = _mm_loadu_pd(grid + c);
      const __m128d take_nodata = _mm_cmple_pd(m, n);  // N >= mask; false for a NaN mask
      const __m128d v = _mm_or_pd(_mm_and_pd(take_nodata, n), _mm_andnot_pd(take_nodata, g));
      _mm_storeu_pd(out + c, v);
      if constexpr (kTexts != Texts::none) {
        const __m128i take = _mm_castpd_si128(take_nodata);
        __m128i text = _mm_and_si128(take, n_text);
        if constexpr (kTexts == Texts::both) {
          const __m128i g_text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(grid_texts + c));
          text = _mm_or_si128(text, _mm_andnot_si128(take, g_text));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out_texts + c), text);
      }
      const __m128d counted = _mm_cmpgt_pd(v, bound);  // false for NaN
      const __m128d added = _mm_and_pd(counted, v);     // +0.0 when not counted
      const __m128d squared = _mm_mul_pd(added, added);
      sum = _mm_add_sd(_mm_add_sd(sum, added), _mm_unpackhi_pd(added, added));
      squares = _mm_add_sd(_mm_add_sd(squares, squared), _mm_unpackhi_pd(squared, squared));
      const unsigned pair = static_cast<unsigned>(_mm_movemask_pd(counted));
      counted_cells += (pair & 1) + (pair >> 1);
      // MINSD/MAXSD keep their second operand unless the first is lower/higher.
      const __m128d lows = _mm_or_pd(added, _mm_andnot_pd(counted, plus_inf));
      const __m128d highs = _mm_or_pd(added, _mm_andnot_pd(counted, minus_inf));
      low = _mm_min_sd(_mm_min_sd(_mm_unpackhi_pd(lows, lows), lows), low);
      high = _mm_max_sd(_mm_max_sd(_mm_unpackhi_pd(highs, highs), highs), high);
    }
    count = _mm_add_sd(count, _mm_set_sd(static_cast<double>(counted_cells)));
  }
  for (; c <= width; ++c) {
    const __m128d m = _mm_load_sd(mask + c);
    const __m128d g = _mm_load_sd(grid + c);
    const __m128d take_nodata = _mm_cmple_sd(m, n);
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
    const __m128d counted = _mm_cmpgt_sd(v, bound);
    const __m128d added = _mm_and_pd(counted, v);
    sum = _mm_add_sd(sum, added);
    count = _mm_add_sd(count, _mm_and_pd(counted, one));
    squares = _mm_add_sd(squares, _mm_mul_sd(added, added));
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

template MaskCells mask_cells_x86<Texts::none, false>;
template MaskCells mask_cells_x86<Texts::nodata, false>;
template MaskCells mask_cells_x86<Texts::both, false>;
template MaskCells mask_cells_x86<Texts::none, true>;
template MaskCells mask_cells_x86<Texts::nodata, true>;
template MaskCells mask_cells_x86<Texts::both, true>;

}  // namespace plotveil::detail
