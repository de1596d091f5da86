// Checks shared by the end-to-end tests: how a run ended and what it printed.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tool_runner.hpp"

namespace plotveil_e2e {

// The run ended by itself with `code`, printed exactly `out` (as the console of
// the tool's system receives it) to standard output and nothing to standard
// error.
inline void expect_run(const RunResult& run, int code, const std::string& out) {
  EXPECT_FALSE(run.timed_out) << "the run was killed after the timeout";
  EXPECT_EQ(run.signal, 0) << "the run ended by a signal";
  EXPECT_EQ(run.exit_code, code);
  EXPECT_EQ(run.out, console_text(out));
  EXPECT_EQ(run.err, "");
}

// One dot per row and the line end: what a successful run prints.
inline std::string dots(int rows) { return std::string(static_cast<std::size_t>(rows), '.') + "\n"; }

}  // namespace plotveil_e2e
