// What both programs do before their own work: standard streams guarded, no
// signal for a reader that goes away, a failed allocation reported in the
// program's own words, the command line taken as UTF-8 words.
#pragma once

#include <string>
#include <vector>

#include "base/console.hpp"
#include "base/failure.hpp"
#include "base/platform.hpp"

namespace plotveil {

using ProgramBody = int (*)(int argc, const char* const* argv);

inline int run_program(int argc, char** argv, ProgramBody body, MemoryReport memory_report) {
  guard_standard_streams();
  platform::ignore_lost_readers();
  report_memory_failures(memory_report);
  const std::vector<std::string> words = platform::command_line(argc, argv);
  std::vector<const char*> arguments;
  for (const std::string& word : words) arguments.push_back(word.c_str());
  arguments.push_back(nullptr);
  return body(static_cast<int>(words.size()), arguments.data());
}

}  // namespace plotveil
