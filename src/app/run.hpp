// One run of the tool: two input grids masked into one output grid.
#pragma once

#include "grid/pipeline/text_threads.hpp"

namespace plotveil {

// How a run spreads its work over threads. Nothing of it shows in what the
// run prints or writes.
using RunSettings = TextThreadSettings;

// The whole run, from the command line to the closed output. Returns 0 when the
// run completes; every failure ends the process with its exit code instead.
// Without settings, the threads come from PLOTVEIL_THREADS or the core count.
int run(int argc, const char* const* argv);
int run(int argc, const char* const* argv, const RunSettings& settings);

// A failed allocation anywhere in a run: the memory message, code 1.
[[noreturn]] void fail_without_memory();

}  // namespace plotveil
