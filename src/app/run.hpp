// One run of the tool: two input grids masked into one output grid.
#pragma once

namespace plotveil {

// The whole run, from the command line to the closed output. Returns 0 when the
// run completes; every failure ends the process with its exit code instead.
int run(int argc, const char* const* argv);

}  // namespace plotveil
