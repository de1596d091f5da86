#include "app/output_grid.hpp"

#include "base/console.hpp"
#include "base/failure.hpp"
#include "base/messages.hpp"

namespace plotveil {

bool names_an_input(const std::string& name, const InStream& first, const InStream& second) {
  return platform::names_file(name, first.identity) || platform::names_file(name, second.identity);
}

void open_output_grid(OutStream& out, std::string& name, const InStream& first,
                      const InStream& second) {
  for (;;) {
    bool refused = names_an_input(name, first, second);
    if (!refused && open_output(out, name)) return;
    console_print(refused ? msg::output_is_input : msg::error_opening_output, name.c_str());
    console_write(msg::prompt_new_name);
    std::optional<std::string> answer = console_read_line();
    if (!answer || answer->empty()) end_process(ExitCode::usage_or_setup);
    name = std::move(*answer);
    console_write(msg::after_answer);
  }
}

}  // namespace plotveil
