#include "app/output_grid.hpp"

#include "base/console.hpp"
#include "base/failure.hpp"
#include "base/messages.hpp"

namespace plotveil {

bool names_an_input(const std::string& name, const InStream& first, const InStream& second) {
  return platform::names_file(name, first.identity) || platform::names_file(name, second.identity);
}

namespace {

// The message that leads to the prompt, or nothing when `name` opened.
const char* try_output(OutStream& out, const std::string& name, bool must_seek, const InStream& first,
                       const InStream& second) {
  if (names_an_input(name, first, second)) return msg::output_is_input;
  if (!open_output(out, name)) return msg::error_opening_output;
  if (!must_seek || output_can_seek(out)) return nullptr;
  // Nothing has been written: a pipe's reader sees an empty stream end.
  close_output(out);
  return msg::output_cannot_seek;
}

}  // namespace

void open_output_grid(OutStream& out, std::string& name, bool must_seek, const InStream& first,
                      const InStream& second) {
  for (;;) {
    const char* refusal = try_output(out, name, must_seek, first, second);
    if (refusal == nullptr) return;
    console_print(refusal, name.c_str());
    console_write(msg::prompt_new_name);
    platform::AnswerLine answer = console_read_line();
    if (answer.kind == platform::AnswerLine::Kind::too_long) {
      console_write(msg::after_answer);
      fail(ExitCode::usage_or_setup, msg::answer_too_long, static_cast<int>(platform::kMaxAnswerCharacters));
    }
    if (answer.text.empty()) end_process(ExitCode::usage_or_setup);
    name = std::move(answer.text);
    console_write(msg::after_answer);
  }
}

}  // namespace plotveil
