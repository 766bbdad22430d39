// The two-part argument rule that .A, .S, .C, .E, .U and .V share, with the traces test mode
// shows as each part is taken.
#include "commands/command_kit.h"

namespace zeltrim {

std::string_view first_part(std::string_view argument) {
  std::size_t start = argument.find_first_not_of(kFieldSeparator);
  if (start == std::string_view::npos) return {};
  return argument.substr(start, argument.find(kFieldSeparator, start) - start);
}

std::string_view second_part(std::string_view argument) {
  // No separator behind the first part: there is no second (find from npos finds none).
  std::size_t end = argument.find(kFieldSeparator, argument.find_first_not_of(kFieldSeparator));
  if (end == std::string_view::npos) return {};
  return argument.substr(end + 1);
}

bool has_both_parts(std::string_view argument) {
  return !first_part(argument).empty() && !second_part(argument).empty();
}

std::string_view without_final_dot(std::string_view text) {
  if (text.ends_with('.')) text.remove_suffix(1);
  return text;
}

std::optional<TwoParts> take_parts(std::string_view argument, const PartsRule& rule,
                                   const CommandContext& context) {
  if (!rule.two_parts) return TwoParts{argument, {}};
  auto trace = [&context](const std::optional<Trace>& trace, std::string_view text) {
    if (!trace) return;
    if (trace->wait) return context.trace_and_wait(trace->format, text);
    context.trace(trace->format, text);
  };
  trace(rule.whole, argument);
  std::string_view first = first_part(argument);
  std::string_view second = second_part(argument);
  if (first.empty() || (rule.both_first && second.empty())) return std::nullopt;
  trace(rule.first, first);
  if (second.empty()) return std::nullopt;
  trace(rule.second, second);
  return TwoParts{first, rule.final_dot ? without_final_dot(second) : second};
}

}  // namespace zeltrim
