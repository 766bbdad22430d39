// An instruction file as the harnesses read it, to know what a job asks before its run: its
// commands in order, the targets they belong to and the texts they bring. Harness code only; it
// must read the lines as the interpreter does, never as the harness would like them to be.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zeltrim::fuzz {

// The name the harnesses give the instruction file in the run's folder.
inline constexpr char kInstructionName[] = "I.ZT";

// One line that begins with ".": its number in the file, its letter in upper case ('\0' where
// the line holds a zero byte, which makes it no command), its argument (the line after its third
// byte) and the whole line.
struct JobCommand {
  long long number = 0;
  char letter = '\0';
  std::string_view argument;
  std::string_view line;
};

// A naming of a target by .F or .G and the commands after it, up to the next naming.
struct Naming {
  JobCommand named;
  std::vector<JobCommand> commands;
};

// The commands of the instruction file's text, as read (a line ends at CR LF or a lone LF).
std::vector<JobCommand> commands_of(std::string_view text);

// The namings in order; the commands before the first one belong to no target and are left out.
std::vector<Naming> namings_of(const std::vector<JobCommand>& commands);

// The text of the instruction file's bytes as the program reads it (a mark skipped, UTF-16
// narrowed or, with /u, decoded); the bytes as they are when they cannot be read so.
std::string job_text(std::string_view bytes, bool unicode);

// Whether the instruction file is UTF-16 with its mark: its texts are then characters.
bool is_utf16_job(std::string_view bytes);

// Whether the job has a problem that /s refuses it for: a line that is no command, a two-part
// command without both parts, a command before any target, or no target at all.
bool has_problems(const std::vector<JobCommand>& commands);

// Whether the command changes or looks at lines with two parts (.A, .S, .C, .E, .U, .V).
bool takes_two_parts(char letter);

// Whether a command has what it needs: both parts where it takes two.
bool is_complete(const JobCommand& command);

// The line an .I, .T, .A or .S adds, where it adds one.
std::optional<std::string_view> added_line(const JobCommand& command);

// The texts a command brings into the file: the line of .I and .T, the new line of .A and .S,
// the addition of .C and .E, the value of .V (each as the command takes it).
std::string_view brought_text(const JobCommand& command);

// The key a .C or .E of `key` looks for in `line`, as the command compares them: the line's
// text before its first "=" (leading ones skipped), letter case aside, with an "=".
bool has_key(std::string_view line, std::string_view key);

// Where the value of a line that has a key begins: after the "=" that ends its key.
std::size_t value_start(std::string_view line);

// The text without spaces at its two ends.
std::string_view without_spaces(std::string_view text);

// The list separator an addition brings under /o: spaces at its ends set aside, its first byte
// if that is one of ";,:", else its last if that is; failing those, a space when it begins or
// ends with one; else none (the addition is one item).
std::optional<char> list_separator(std::string_view addition);

// ASCII letters in lower case and each run of bytes above 0x7F as one byte 0x80: texts that
// the program may take as equal (letter case aside, or the same characters in UTF-8 and as
// single bytes) fold alike.
std::string folded(std::string_view text);

}  // namespace zeltrim::fuzz
