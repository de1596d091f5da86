#include "app/output_grid.hpp"

#include <sys/stat.h>

#include "base/console.hpp"
#include "base/failure.hpp"
#include "base/messages.hpp"

namespace plotveil {

bool names_an_input(const std::string& name, const InStream& first, const InStream& second) {
  if (name.find('\0') != std::string::npos) return false;
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0) return false;
  auto device = static_cast<std::uint64_t>(info.st_dev);
  auto inode = static_cast<std::uint64_t>(info.st_ino);
  return (device == first.device && inode == first.inode) ||
         (device == second.device && inode == second.inode);
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
