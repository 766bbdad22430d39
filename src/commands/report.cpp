// What commands print: report lines in every run, trace lines and waits in test mode.
#include "commands/command_kit.h"
#include "platform/console.h"

namespace zeltrim {

std::string told_problem(const JobLine& where, std::string_view message) {
  std::string line = "zeltrim: ";
  line.append(where.job).append(":").append(std::to_string(where.number)).append(": ");
  return line.append(message);
}

void CommandContext::report(std::string_view format, std::string_view text) const {
  if (voice->quiet) return;
  if (voice->held == nullptr) return platform::say(format, text);
  voice->held->say(format, text);
}

void CommandContext::problem(std::string_view message) const {
  if (voice->quiet) return;
  *problems = true;
  if (voice->held == nullptr) return platform::tell_error(told_problem(where, message));
  voice->held->tell(told_problem(where, message));
}

void CommandContext::trace(std::string_view format, std::string_view text) const {
  if (settings.test_mode) platform::say(format, text);
}

void CommandContext::trace_and_wait(std::string_view format, std::string_view text) const {
  trace(format, text);
  if (settings.test_mode) platform::wait_for_enter();
}

}  // namespace zeltrim
