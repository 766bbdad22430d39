// How each command is prepared from its argument. The dispatcher's command table names these;
// nothing outside the commands sees them.
#pragma once

#include "commands/command_kit.h"

namespace zeltrim {

// How .C, .E, .U and .V are prepared: the two parts taken as take_traced_parts takes them, then
// the command made of them and of what more it needs.
template <typename Made, typename... More>
std::unique_ptr<Command> prepare_traced(std::string_view argument, const CommandContext& context,
                                        More... more) {
  std::optional<TwoParts> parts = take_traced_parts(argument, context);
  return parts ? std::make_unique<Made>(context, *parts, more...) : nullptr;
}

// .I and .T: the whole argument as a line at the bottom or the top.
std::unique_ptr<Command> prepare_bottom(std::string_view argument, const CommandContext& context);
std::unique_ptr<Command> prepare_top(std::string_view argument, const CommandContext& context);

// Under /o: whether `line` stands for a line `added` by .I or .T, which is then not added again.
bool is_already_there(std::string_view added, const Line& line);

// .R: removes every line equal to the argument, letter case aside.
std::unique_ptr<Command> prepare_remove(std::string_view argument, const CommandContext& context);

// .A: inserts the second part after every line equal to the first.
std::unique_ptr<Command> prepare_append_after(std::string_view argument,
                                              const CommandContext& context);

// .S: replaces every line equal to the first part with the second.
std::unique_ptr<Command> prepare_swap(std::string_view argument, const CommandContext& context);

// .C and .E: add the second part to the value of every key=value line whose key is the first
// part, at the value's beginning or its end.
std::unique_ptr<Command> prepare_concat_at_beginning(std::string_view argument,
                                                     const CommandContext& context);
std::unique_ptr<Command> prepare_concat_at_end(std::string_view argument,
                                               const CommandContext& context);

// .V: replaces the first part with the second, wherever it occurs.
std::unique_ptr<Command> prepare_varsub(std::string_view argument, const CommandContext& context);

// .U: deletes the second part from every line that begins with the first.
std::unique_ptr<Command> prepare_unconcat(std::string_view argument, const CommandContext& context);

}  // namespace zeltrim
