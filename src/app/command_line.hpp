// The command line: three names and an optional "-f:" option.
#pragma once

#include <string_view>

#include "grid/grid_types.hpp"

namespace plotveil {

// "-f:" anywhere in the option selects by the first character after the
// option's first colon: "s" single, "d" double, anything else text. Without
// "-f:" the format is text. Nothing after this asks the letter again.
OutputFormat parse_output_format(std::string_view option);

// Prints the three usage lines.
void print_usage();

}  // namespace plotveil
