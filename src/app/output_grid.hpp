// Opening the output grid, with the dialogue for another name when it cannot be
// opened or would overwrite an input.
#pragma once

#include <string>

#include "grid/files/byte_streams.hpp"

namespace plotveil {

// Opens (creates or empties) the file named by `name`. While that fails, the
// name is the same file as one of the inputs, or `must_seek` and the file
// cannot seek (a binary grid's statistics go back over its header at the
// end), says so, prompts for another name and tries the answer; an empty
// answer, the end of standard input or an answer longer than any name ends
// the run with code 1. On return `name` holds the name that opened.
void open_output_grid(OutStream& out, std::string& name, bool must_seek, const InStream& first,
                      const InStream& second);

// True when `name` is the same file (by its identity, through any link or
// spelling of the path) as one of the open inputs.
bool names_an_input(const std::string& name, const InStream& first, const InStream& second);

}  // namespace plotveil
