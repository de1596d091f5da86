// The masking of a row's cells, the statistics fed on the way, with the
// texts of a text output chosen as the cells are (stats/masking.hpp has the
// rule). Each processor kind's kernels do it (kernels/<kind>/choice.cpp says
// in which form).
#pragma once

#include <cstdint>

#include "stats/statistics.hpp"

namespace plotveil::detail {

// Texts taken with the cells: none, no-data's only, or grid_1's and no-data's.
enum class Texts { none, nodata, both };

template <Texts kTexts>
void mask_cells(const double* grid, const std::uint64_t* grid_texts, const double* mask, double* out,
                std::uint64_t* out_texts, std::int32_t width, double nodata, std::uint64_t nodata_text,
                GridStatistics& stats);

// The same cell after cell, on any processor: built into every build
// (kernels/portable/), for the kinds without a wider form.
template <Texts kTexts>
void mask_cells_portable(const double* grid, const std::uint64_t* grid_texts, const double* mask, double* out,
                         std::uint64_t* out_texts, std::int32_t width, double nodata, std::uint64_t nodata_text,
                         GridStatistics& stats);

// Its type, for the files that build it for each kind of texts.
using MaskCells = void(const double*, const std::uint64_t*, const double*, double*, std::uint64_t*, std::int32_t,
                       double, std::uint64_t, GridStatistics&);

}  // namespace plotveil::detail
