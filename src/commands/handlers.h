// How each command is prepared from its argument, taken as the command table's rule for it
// says. The dispatcher's table names these; nothing outside the commands sees the commands.
#pragma once

#include "commands/command_kit.h"

namespace zeltrim {

// .I and .T: the whole argument as a line at the bottom or the top.
std::unique_ptr<Command> prepare_bottom(const TwoParts& argument, const CommandContext& context);
std::unique_ptr<Command> prepare_top(const TwoParts& argument, const CommandContext& context);

// Under /o: whether `line` stands for a line `added` by .I or .T, which is then not added again.
bool is_already_there(std::string_view added, const Line& line);

// .R: removes every line equal to the argument, letter case aside.
std::unique_ptr<Command> prepare_remove(const TwoParts& argument, const CommandContext& context);

// .A: inserts the second part after every line equal to the first.
std::unique_ptr<Command> prepare_append_after(const TwoParts& parts, const CommandContext& context);

// .S: replaces every line equal to the first part with the second.
std::unique_ptr<Command> prepare_swap(const TwoParts& parts, const CommandContext& context);

// .C and .E: add the second part to the value of every key=value line whose key is the first
// part, at the value's beginning or its end.
std::unique_ptr<Command> prepare_concat_at_beginning(const TwoParts& parts,
                                                     const CommandContext& context);
std::unique_ptr<Command> prepare_concat_at_end(const TwoParts& parts,
                                               const CommandContext& context);

// .V: replaces the first part with the second, wherever it occurs.
std::unique_ptr<Command> prepare_varsub(const TwoParts& parts, const CommandContext& context);

// .U: deletes the second part from every line that begins with the first.
std::unique_ptr<Command> prepare_unconcat(const TwoParts& parts, const CommandContext& context);

}  // namespace zeltrim
