// What commands print: report lines in every run, trace lines and waits in test mode.
#include "commands/command_kit.h"
#include "platform/console.h"

namespace zeltrim {

void CommandContext::report(std::string_view format, std::string_view text) const {
  if (silent_) return;
  if (held_ == nullptr) return platform::say(format, text);
  held_->append_formatted(format, {text});
}

void CommandContext::trace(std::string_view format, std::string_view text) const {
  if (settings_->test_mode) platform::say(format, text);
}

void CommandContext::trace_and_wait(std::string_view format, std::string_view text) const {
  if (!settings_->test_mode) return;
  platform::say(format, text);
  platform::wait_for_enter();
}

}  // namespace zeltrim
