// The instruction interpreter: reads an instruction file line by line, keeps track of the
// current target, and hands each dot-command to its handler. Handlers change the line list and
// report every change; they never touch the disk themselves.
#pragma once

#include <string>
#include <string_view>

namespace zeltrim {

enum class RunOutcome {
  completed,                 // every target loaded and written back
  completed_with_errors,     // a target could not be loaded or written back
  instruction_file_missing,  // nothing was done
};

RunOutcome run_instruction_file(const std::string& path);

// What a two-part command made of its argument.
enum class Handled { done, missing_part };

// .I and .T: add the whole argument as a line at the bottom or the top.
void bottom_line(std::string_view text);
void top_line(std::string_view text);

// .R: removes every line equal to the argument, letter case aside.
void remove_line(std::string_view text);

// .A: inserts the second part after every line equal to the first.
Handled append_after(std::string_view argument);

// .S: replaces every line equal to the first part with the second.
Handled swap_line(std::string_view argument);

// .C (at_beginning 1) and .E (0): add the second part to the value of every key=value line
// whose key is the first part, at the value's beginning or end.
Handled concat_line(std::string_view argument, int at_beginning);

// .V: replaces the first part with the second, wherever it occurs.
Handled varsub_line(std::string_view argument);

// .U: deletes the second part from every line that begins with the first.
Handled unconcat_line(std::string_view argument);

// A .V that would need more replacements than this on one line never ends: the line is kept.
std::size_t varsub_limit(std::size_t line_length);

}  // namespace zeltrim
