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
constexpr std::string_view kInvalidCommand = "Invalid command found on line %d\n";
constexpr std::string_view kMissingPart = "Missing field separator on line %d - command ignored\n";
constexpr std::string_view kNoTargetLoaded = "No target loaded for the command on line %d\n";
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

// A problem of the instruction file: said as always, and an error of the run when it is strict.
void problem(Run& run, std::string_view format, long long line_number) {
  run.say(format, line_number);
  if (run.settings.strict) run.errors = true;
}

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
  CommandContext context(run.settings, &run.command_problems,
                         entry != nullptr ? &entry->messages : nullptr, false);
  std::unique_ptr<Command> command = prepare(argument, context);
  if (command == nullptr) return problem(run, kMissingPart, line_number);
  if (entry == nullptr) return apply(*command, run.target);
  entry->command = std::move(command);
  entry->prepare = prepare;
  entry->argument = argument;
}

using Handler = void (*)(Run& run, std::string_view argument, long long line_number);

struct CommandEntry {
  char letter;
  bool needs_target;  // does nothing at all while no target is loaded
  Handler handler;
};

constexpr CommandEntry kCommands[] = {
    {'F', false, name_existing},
    {'G', false, name_created},
    {'I', true, carry_out<prepare_bottom>},
    {'T', true, carry_out<prepare_top>},
    {'R', true, carry_out<prepare_remove>},
    {'A', true, carry_out<prepare_append_after>},
    {'S', true, carry_out<prepare_swap>},
    {'C', true, carry_out<prepare_concat_at_beginning>},
    {'E', true, carry_out<prepare_concat_at_end>},
    {'U', true, carry_out<prepare_unconcat>},
    {'V', true, carry_out<prepare_varsub>},
};

void dispatch(Run& run, std::string_view line, long long line_number) {
  // A zero byte cannot stand in any text the commands work on.
  bool usable = std::memchr(line.data(), '\0', line.size()) == nullptr;
  char letter = usable && line.size() > kLetterAt ? upper_ascii(line[kLetterAt]) : '\0';
  std::string_view argument = line.size() > kArgumentAt ? line.substr(kArgumentAt) : "";
  const CommandEntry* found =
      std::find_if(std::begin(kCommands), std::end(kCommands),
                   [letter](const CommandEntry& entry) { return entry.letter == letter; });
  if (found == std::end(kCommands)) found = nullptr;
  // A line of a streamed target holds its messages, and knows what it would say instead if the
  // file turns out not to load.
  if (run.holding() && (found == nullptr || found->needs_target)) {
    std::string instead;
    std::string_view format = found == nullptr ? kInvalidCommand : kNoTargetLoaded;
    if (found == nullptr || run.settings.strict) {
      platform::append_formatted(instead, format, {std::to_string(line_number)});
    }
    run.entries.emplace_back(&run.held_messages).if_not_loaded = std::move(instead);
  }
  if (found == nullptr) return problem(run, kInvalidCommand, line_number);
  if (!found->needs_target || run.target.loaded()) {
    found->handler(run, argument, line_number);
  } else if (run.settings.strict) {
    problem(run, kNoTargetLoaded, line_number);
  }
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
                 read_marked_text(bytes.view(), settings.target.unicode)) {
    return text;
  } else {
    platform::say(kInstructionsWouldLoseCharacters, path);
  }
  explain(path, reason);
  return std::nullopt;
}
}  // namespace

RunOutcome run_instruction_file(const std::string& path, const RunSettings& settings) {
  std::optional<std::string> instructions = read_instructions(path, settings);
  if (!instructions) return RunOutcome::instructions_unusable;

  Run run(settings);
  bool unused = false;
  CommandContext context(settings, &unused);
  std::string_view rest = *instructions;
  for (long long line_number = 1; !rest.empty(); ++line_number) {
    std::size_t lf = rest.find('\n');
    std::size_t length = lf == std::string_view::npos ? rest.size() : lf + 1;
    std::string_view line = rest.substr(0, length);
    rest.remove_prefix(length);
    // A line ends with CR LF or with a lone LF, neither of which belongs to it.
    line.remove_suffix(line.ends_with("\r\n") ? 2 : line.ends_with('\n') ? 1 : 0);
    if (!line.starts_with(kCommandMark)) continue;

    context.trace(kTraceOperation, line);
    dispatch(run, line, line_number);
    context.trace_and_wait(kTraceEnd, line);
  }
  write_back(run);
  if (run.command_problems && settings.strict) run.errors = true;
  if (settings.strict && !run.named_a_target) {
    platform::say(kNoTargetNamed, path);
    run.errors = true;
  }
  if (run.errors) return RunOutcome::completed_with_errors;
  return run.would_change ? RunOutcome::would_change : RunOutcome::completed;
}

}  // namespace zeltrim
