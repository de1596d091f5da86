// Observing a failure in process: the console goes to a temporary stream and
// the end of the process becomes an exception carrying the exit code.
#pragma once

#include <cstdio>
#include <string>

#include "base/console.hpp"
#include "base/failure.hpp"

namespace plotveil::testing {

struct RunEnded {
  int code;
};

class CapturedRun {
 public:
  CapturedRun() : out_(std::tmpfile()), in_(std::tmpfile()) {
    set_console_streams(out_, in_);
    set_exit_handler([](int code) { throw RunEnded{code}; });
  }
  ~CapturedRun() {
    set_exit_handler(nullptr);
    set_failure_cleanup(nullptr, nullptr);
    set_console_streams(nullptr, nullptr);
    std::fclose(out_);
    std::fclose(in_);
  }
  CapturedRun(const CapturedRun&) = delete;
  CapturedRun& operator=(const CapturedRun&) = delete;

  // Everything printed so far.
  std::string printed() {
    std::fflush(out_);
    std::string text;
    std::rewind(out_);
    int c;
    while ((c = std::fgetc(out_)) != EOF) text.push_back(static_cast<char>(c));
    return text;
  }

 private:
  std::FILE* out_;
  std::FILE* in_;
};

// Runs `step` and returns the exit code it ended with, or -1 when it returned.
template <typename Step>
int exit_code_of(Step&& step) {
  try {
    step();
  } catch (const RunEnded& ended) {
    return ended.code;
  }
  return -1;
}

}  // namespace plotveil::testing
