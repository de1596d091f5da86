#include <string>
#include <vector>

#include "app/run.hpp"
#include "base/console.hpp"
#include "base/platform.hpp"

int main(int argc, char** argv) {
  plotveil::guard_standard_streams();
  const std::vector<std::string> words = plotveil::platform::command_line(argc, argv);
  std::vector<const char*> arguments;
  for (const std::string& word : words) arguments.push_back(word.c_str());
  arguments.push_back(nullptr);
  return plotveil::run(static_cast<int>(words.size()), arguments.data());
}
