// A plain model of one whole run, written apart from the tool's code: what a
// run over two grids given as bytes must end with, and for a completed run the
// exact bytes of its output file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plotveil_fuzz {

enum class OutputKind { text, single, double_precision };

struct RunOutcome {
  // `other`: the run ends before the rows (an input not recognised, a header
  // that cannot be read, headers that differ, an unusable size).
  enum class End { other, short_row, complete } end = End::other;
  bool size_known = false;    // grid_1's header was read and its size is usable
  std::int32_t width = 0;     // W
  std::int64_t rows = 0;      // rows the loop runs through
  std::string output;         // the output file of a completed run
};

RunOutcome model_run(std::string_view first, std::string_view second, OutputKind kind);

// The output format an option selects: "-f:" anywhere in it, then the first
// character after its first colon: 's' single, 'd' double, anything else text.
OutputKind model_output_kind(std::string_view option);

}  // namespace plotveil_fuzz
