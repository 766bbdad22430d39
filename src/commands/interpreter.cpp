// The dispatcher: walks the instruction file, names targets, and hands each command to its
// handler through one table.
#include "commands/interpreter.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "commands/command_kit.h"
#include "commands/handlers.h"
#include "commands/session.h"
#include "platform/console.h"
#include "platform/files.h"

namespace zeltrim {

namespace {
constexpr std::string_view kCouldNotOpen = "Could not open file %s\n";
constexpr std::string_view kCouldNotRead = "Could not read file %s\n";
constexpr std::string_view kInstructionsWouldLoseCharacters =
    "Error - %s cannot be read without losing characters\n";
constexpr std::string_view kNoTargetNamed = "No target is named in %s\n";
constexpr std::string_view kTraceOperation = "TEST MODE: operation is %s\n\n";
constexpr std::string_view kTraceEnd =
    "TEST MODE: end of %s operation\n\nTEST MODE: Press ENTER to continue...\n\n";

constexpr char kCommandMark = '.';
// The letter is the second byte and the argument starts at the fourth: the third byte
// (a space in every example) is skipped whatever it is.
constexpr std::size_t kLetterAt = 1;
constexpr std::size_t kArgumentAt = 3;

char upper_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

void name_existing(Run& run, std::string_view argument, long long) {
  name_target(run, argument, Naming::existing);
}

void name_created(Run& run, std::string_view argument, long long) {
  name_target(run, argument, Naming::created);
}

// A command is prepared from its argument, then carried out over the lines held whole (test
// mode), or kept with its line to be carried out as the file streams by.
template <Prepare prepare>
void carry_out(Run& run, std::string_view argument, long long line_number) {
  Entry* entry = run.holding() ? &run.entries.back() : nullptr;
  CommandContext context(run.settings, &run.command_problems, run.line(line_number),
                         entry != nullptr ? &entry->words : nullptr);
  std::unique_ptr<Command> command = prepare(argument, context);
  if (command == nullptr) {
    return say_problem(run, LineProblem::missing_part, line_number,
                       entry != nullptr ? &entry->words : nullptr);
  }
  if (entry == nullptr) return apply(*command, run.target);
  entry->command = std::move(command);
  entry->prepare = prepare;
  entry->argument = argument;
}

using Handler = void (*)(Run& run, std::string_view argument, long long line_number);

struct CommandEntry {
  char letter;
  bool needs_target;  // does nothing at all while no target is loaded
  bool two_parts;     // its argument has two parts, and both are needed
  Handler handler;
};

constexpr CommandEntry kCommands[] = {
    {'F', false, false, name_existing},
    {'G', false, false, name_created},
    {'I', true, false, carry_out<prepare_bottom>},
    {'T', true, false, carry_out<prepare_top>},
    {'R', true, false, carry_out<prepare_remove>},
    {'A', true, true, carry_out<prepare_append_after>},
    {'S', true, true, carry_out<prepare_swap>},
    {'C', true, true, carry_out<prepare_concat_at_beginning>},
    {'E', true, true, carry_out<prepare_concat_at_end>},
    {'U', true, true, carry_out<prepare_unconcat>},
    {'V', true, true, carry_out<prepare_varsub>},
};

// The command a line names, or null when there is none.
const CommandEntry* command_of(std::string_view line) {
  // A zero byte cannot stand in any text the commands work on.
  bool usable = std::memchr(line.data(), '\0', line.size()) == nullptr;
  char letter = usable && line.size() > kLetterAt ? upper_ascii(line[kLetterAt]) : '\0';
  const CommandEntry* found =
      std::find_if(std::begin(kCommands), std::end(kCommands),
                   [letter](const CommandEntry& entry) { return entry.letter == letter; });
  return found == std::end(kCommands) ? nullptr : found;
}

std::string_view argument_of(std::string_view line) {
  return line.size() > kArgumentAt ? line.substr(kArgumentAt) : "";
}

void dispatch(Run& run, std::string_view line, long long line_number) {
  const CommandEntry* found = command_of(line);
  // A line of a streamed target holds what it says, and knows what it would say instead if the
  // file turns out not to load.
  HeldWords* held = nullptr;
  if (run.holding() && (found == nullptr || found->needs_target)) {
    Entry& entry = run.entries.emplace_back(&run.held_messages, line_number);
    entry.if_not_loaded =
        found == nullptr ? LineProblem::invalid_command : LineProblem::no_target_loaded;
    held = &entry.words;
  }
  if (found == nullptr) return say_problem(run, LineProblem::invalid_command, line_number, held);
  if (!found->needs_target || run.target.loaded()) {
    found->handler(run, argument_of(line), line_number);
  } else {
    say_problem(run, LineProblem::no_target_loaded, line_number);
  }
}

// Calls `each` with every line of the instruction file and its number: a line ends with CR LF
// or with a lone LF, neither of which belongs to it.
template <typename Each>
void for_each_line(std::string_view rest, Each&& each) {
  for (long long line_number = 1; !rest.empty(); ++line_number) {
    std::size_t lf = rest.find('\n');
    std::size_t length = lf == std::string_view::npos ? rest.size() : lf + 1;
    std::string_view line = rest.substr(0, length);
    rest.remove_prefix(length);
    line.remove_suffix(line.ends_with("\r\n") ? 2 : line.ends_with('\n') ? 1 : 0);
    each(line, line_number);
  }
}

// A strict run looks at the whole job before it opens a file: every problem that the
// instruction file shows by itself is said, in order, and then nothing is carried out.
bool problems_before_running(const std::string& path, std::string_view instructions, Run& run) {
  bool found_any = false;
  bool named = false;
  for_each_line(instructions, [&](std::string_view line, long long line_number) {
    if (!line.starts_with(kCommandMark)) return;
    const CommandEntry* found = command_of(line);
    std::optional<LineProblem> problem;
    if (found == nullptr) {
      problem = LineProblem::invalid_command;
    } else if (found->needs_target && !named) {
      problem = LineProblem::no_target_loaded;
    } else if (found->two_parts && !has_both_parts(argument_of(line))) {
      problem = LineProblem::missing_part;
    }
    named = named || (found != nullptr && !found->needs_target);
    if (problem) say_problem(run, *problem, line_number);
    found_any = found_any || problem.has_value();
  });
  if (!named) {
    platform::say(kNoTargetNamed, path);
    platform::tell_error("zeltrim: " + path + ": no target is named");
  }
  return found_any || !named;
}

// The instruction file is read whole (it may be a pipe), before any command is carried out,
// and taken as one byte per character whatever mark an editor put in front.
std::optional<std::string> read_instructions(const std::string& path, const RunSettings& settings) {
  platform::File file;
  platform::FileBytes bytes;
  platform::Status reason =
      platform::open_for_reading(path, platform::Accept::anything_but_folder, file);
  if (!reason) {
    platform::say(kCouldNotOpen, path);
  } else if (reason = platform::read_whole(file, bytes); !reason) {
    platform::say(kCouldNotRead, path);
  } else if (std::optional<std::string> text =
                 read_marked_text(bytes.view(), settings.target.unicode, reason)) {
    return text;
  } else {
    platform::say(kInstructionsWouldLoseCharacters, path);
  }
  explain(path, reason);
  return std::nullopt;
}
}  // namespace

RunOutcome run_instruction_file(const std::string& path, const RunSettings& settings,
                                bool command_line_problems) {
  std::optional<std::string> instructions = read_instructions(path, settings);
  if (!instructions) return RunOutcome::instructions_unusable;

  Run run(settings, path);
  if (settings.strict &&
      (problems_before_running(path, *instructions, run) || command_line_problems)) {
    return RunOutcome::completed_with_errors;
  }
  bool unused = false;
  CommandContext context(settings, &unused, {});
  for_each_line(*instructions, [&](std::string_view line, long long line_number) {
    if (!line.starts_with(kCommandMark)) return;
    context.trace(kTraceOperation, line);
    dispatch(run, line, line_number);
    context.trace_and_wait(kTraceEnd, line);
  });
  write_back(run);
  if (run.command_problems && settings.strict) run.errors = true;
  if (!run.named_a_target) platform::tell_error("zeltrim: " + path + ": no target is named");
  if (run.errors) return RunOutcome::completed_with_errors;
  return run.would_change ? RunOutcome::would_change : RunOutcome::completed;
}

}  // namespace zeltrim
