#include "app/command_line.hpp"

#include "base/console.hpp"
#include "base/messages.hpp"

namespace plotveil {

OutputFormat parse_output_format(std::string_view option) {
  if (option.find("-f:") == std::string_view::npos) return kTextOutput;
  // The first colon of the whole option, which need not be the one of "-f:".
  std::string_view rest = option.substr(option.find(':') + 1);
  if (rest.empty()) return kTextOutput;
  if (rest.front() == 's') return kSingleOutput;
  if (rest.front() == 'd') return kDoubleOutput;
  return kTextOutput;
}

void print_usage() {
  console_write(msg::usage_1);
  console_write(msg::usage_2);
  console_write(msg::usage_3);
}

}  // namespace plotveil
