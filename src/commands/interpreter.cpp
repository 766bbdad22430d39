// The dispatcher: walks the instruction file, names targets, and hands each command to its
// handler through one table.
#include "commands/interpreter.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "commands/command_kit.h"
#include "commands/handlers.h"
#include "commands/json_report.h"
#include "commands/session.h"
#include "platform/console.h"
#include "platform/files.h"
#include "textfile/encoding.h"

namespace zeltrim {

namespace {
constexpr std::string_view kCouldNotOpen = "Could not open file %s\n";
constexpr std::string_view kCouldNotRead = "Could not read file %s\n";
constexpr std::string_view kInstructionsWouldLoseCharacters =
    "Error - %s cannot be read without losing characters\n";
constexpr std::string_view kNoTargetNamed = "No target is named in %s\n";
constexpr std::string_view kStandardInput = "-";
constexpr std::string_view kTraceOperation = "TEST MODE: operation is %s\n\n";
constexpr std::string_view kTraceEnd =
    "TEST MODE: end of %s operation\n\nTEST MODE: Press ENTER to continue...\n\n";

constexpr char kCommandMark = '.';
// The letter is the second byte and the argument starts at the fourth: the third byte
// (a space in every example) is skipped whatever it is.
constexpr std::size_t kLetterAt = 1;
constexpr std::size_t kArgumentAt = 3;

char upper_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The command table: each letter, and what it does.
struct CommandKind {
  char letter;
  bool two_parts;  // its argument has two parts, and both are needed
  bool top;        // it adds at the top, and under /o must know first whether the line is there
  std::optional<Naming> names;  // .F and .G: a target
  Prepare prepare;              // every other: a command of the loaded target
};

constexpr CommandKind kCommands[] = {
    {'F', false, false, Naming::existing, nullptr},
    {'G', false, false, Naming::created, nullptr},
    {'I', false, false, std::nullopt, prepare_bottom},
    {'T', false, true, std::nullopt, prepare_top},
    {'R', false, false, std::nullopt, prepare_remove},
    {'A', true, false, std::nullopt, prepare_append_after},
    {'S', true, false, std::nullopt, prepare_swap},
    {'C', true, false, std::nullopt, prepare_concat_at_beginning},
    {'E', true, false, std::nullopt, prepare_concat_at_end},
    {'U', true, false, std::nullopt, prepare_unconcat},
    {'V', true, false, std::nullopt, prepare_varsub},
};

// The command a line names, or null when there is none.
const CommandKind* command_of(std::string_view line) {
  // A zero byte cannot stand in any text the commands work on.
  bool usable = std::memchr(line.data(), '\0', line.size()) == nullptr;
  char letter = usable && line.size() > kLetterAt ? upper_ascii(line[kLetterAt]) : '\0';
  const CommandKind* found = std::ranges::find(kCommands, letter, &CommandKind::letter);
  return found == std::end(kCommands) ? nullptr : found;
}

std::string_view argument_of(std::string_view line) {
  return line.size() > kArgumentAt ? line.substr(kArgumentAt) : "";
}

void dispatch(Run& run, std::string_view line, long long line_number) {
  const CommandKind* found = command_of(line);
  bool loaded = run.current.loaded;
  if (found == nullptr && loaded) return take_invalid(run, line_number);
  if (found == nullptr) return say_problem(run, LineProblem::invalid_command, line_number);
  if (found->names) return name_target(run, argument_of(line), *found->names);
  if (!loaded) return say_problem(run, LineProblem::no_target_loaded, line_number);
  take_command(run, found->letter, found->prepare, found->top, argument_of(line), line_number);
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

// An instruction file that names no target: a problem of the report, and said on standard error.
void tell_no_target(const std::string& path, JsonReport* json) {
  if (json != nullptr)
    json->problems.push_back({std::nullopt, message_line(kNoTargetNamed, path), std::nullopt});
  platform::tell_error("zeltrim: " + path + ": no target is named");
}

// A strict run looks at the whole job before it opens a file: every problem that the
// instruction file shows by itself is said, in order, and then nothing is carried out.
bool problems_before_running(const std::string& path, std::string_view instructions, Run& run) {
  bool found_any = false;
  bool named = false;
  std::optional<std::string_view> target;  // the target the lines belong to
  for_each_line(instructions, [&](std::string_view line, long long line_number) {
    if (!line.starts_with(kCommandMark)) return;
    const CommandKind* found = command_of(line);
    std::optional<LineProblem> problem;
    if (found == nullptr) {
      problem = LineProblem::invalid_command;
    } else if (!found->names && !named) {
      problem = LineProblem::no_target_loaded;
    } else if (found->two_parts && !has_both_parts(argument_of(line))) {
      problem = LineProblem::missing_part;
    }
    if (found != nullptr && found->names) target = argument_of(line);
    named = named || (found != nullptr && found->names);
    if (problem) say_problem(run, *problem, line_number, target);
    found_any = found_any || problem.has_value();
  });
  if (!named) {
    say(run, kNoTargetNamed, path);
    tell_no_target(path, run.json);
  }
  return found_any || !named;
}

// The instruction file is read whole (it may be a pipe; "-" is standard input), before any
// command is carried out, and taken as one byte per character whatever mark an editor put in
// front. What went wrong is the run's error line.
std::optional<std::string> read_instructions(platform::Disk& disk, const std::string& path,
                                             const RunSettings& settings, JsonReport* json,
                                             EncodingKind& kind) {
  std::string error;
  platform::File file;
  platform::FileBytes bytes;
  std::string piped;
  platform::Status reason;
  if (path == kStandardInput) {
    reason = platform::read_standard_input(piped);
    if (!reason) error = message_line(kCouldNotRead, path);
  } else if (reason = disk.open_for_reading(path, platform::Accept::anything_but_folder, file);
             !reason) {
    error = message_line(kCouldNotOpen, path);
  } else if (reason = platform::read_whole(disk, file, bytes); !reason) {
    error = message_line(kCouldNotRead, path);
  }
  if (error.empty()) {
    std::string_view text = path == kStandardInput ? std::string_view(piped) : bytes.view();
    kind = encoding_from_mark(text);
    if (auto read = read_marked_text(text, settings.target.unicode, reason)) return read;
    error = message_line(kInstructionsWouldLoseCharacters, path);
  }
  if (json != nullptr) {
    json->error = error;
  } else {
    platform::print(error + "\n");
  }
  explain(path, reason);
  return std::nullopt;
}
}  // namespace

RunOutcome run_instruction_file(const std::string& path, const RunSettings& settings,
                                platform::Disk& disk, bool command_line_problems,
                                JsonReport* json) {
  EncodingKind job_kind = EncodingKind::plain;
  std::optional<std::string> instructions = read_instructions(disk, path, settings, json, job_kind);
  if (!instructions) return RunOutcome::instructions_unusable;

  Run run(settings, path, disk, json);
  run.job_in_utf16 = !settings.target.unicode && unit_size(job_kind) == 2;
  if (settings.strict &&
      (problems_before_running(path, *instructions, run) || command_line_problems)) {
    return RunOutcome::completed_with_errors;
  }
  CommandContext context{settings, nullptr, {}, &run.direct, nullptr, {}};  // for the trace only
  for_each_line(*instructions, [&](std::string_view line, long long line_number) {
    if (!line.starts_with(kCommandMark)) return;
    context.trace(kTraceOperation, line);
    dispatch(run, line, line_number);
    context.trace_and_wait(kTraceEnd, line);
  });
  write_back(run);
  const Tally& tally = run.tally;
  if (!tally.named_a_target) tell_no_target(path, json);
  if (tally.errors || (tally.problems && settings.strict)) return RunOutcome::completed_with_errors;
  return tally.would_change ? RunOutcome::would_change : RunOutcome::completed;
}

}  // namespace zeltrim
