// The two-part argument split that .A, .S, .C, .E, .U and .V share.
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

std::optional<TwoParts> take_traced_parts(std::string_view argument,
                                          const CommandContext& context) {
  constexpr std::string_view kTraceFirstPart = "TEST MODE: concat begins after...%s...\n\n";
  constexpr std::string_view kTraceSecondPart = "TEST MODE: concats...%s...\n\n";
  std::string_view first = first_part(argument);
  if (first.empty()) return std::nullopt;
  context.trace_and_wait(kTraceFirstPart, first);
  std::string_view second = second_part(argument);
  if (second.empty()) return std::nullopt;
  context.trace_and_wait(kTraceSecondPart, second);  // shown before its final dot goes
  return TwoParts{first, without_final_dot(second)};
}

}  // namespace zeltrim
