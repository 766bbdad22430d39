#include "run/job.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "commands/handlers.h"
#include "lines/caseless.h"
#include "run/editing.h"
#include "textfile/encoding.h"

namespace zeltrim {

namespace {
constexpr std::string_view kCouldNotOpen = "Could not open file %s";
constexpr std::string_view kCouldNotRead = "Could not read file %s";
constexpr std::string_view kInstructionsWouldLoseCharacters =
    "Error - %s cannot be read without losing characters";
constexpr std::string_view kNoTargetNamed = "No target is named in %s";

constexpr char kCommandMark = '.';
// The letter is the second byte and the argument starts at the fourth: the third byte
// (a space in every example) is skipped whatever it is.
constexpr std::size_t kLetterAt = 1;
constexpr std::size_t kArgumentAt = 3;

// How each command takes its argument, with what test mode shows as it does.
constexpr PartsRule kWhole{};
constexpr PartsRule kAppendRule{.two_parts = true,
                                .whole = Trace{"TEST MODE: inline is : %s\n"},
                                .both_first = true,
                                .first = Trace{"TEST MODE: searchstring : %s\n"},
                                .second = Trace{"TEST MODE: addstring : %s\n"},
                                .final_dot = false};
constexpr PartsRule kSwapRule{.two_parts = true,
                              .whole = Trace{"TEST MODE: inline is : %s\n", true},
                              .both_first = true,
                              .first = Trace{"TEST MODE: token1 : %s\n"},
                              .second = Trace{"TEST MODE: token2 : %s\n", true},
                              .final_dot = false};
// .C, .E, .U and .V trace each part as it is taken, and drop one final dot of the second.
constexpr PartsRule kEditRule{.two_parts = true,
                              .whole = std::nullopt,
                              .both_first = false,
                              .first = Trace{"TEST MODE: concat begins after...%s...\n\n", true},
                              .second = Trace{"TEST MODE: concats...%s...\n\n", true},
                              .final_dot = true};

// The command table: each letter, and what it does.
struct CommandKind {
  Prepare prepare;  // a command of the loaded target (none for .F and .G)
  PartsRule rule;
  char letter;
  std::optional<Naming> names;  // .F and .G: a target
  bool top = false;  // it adds at the top, and under /o must know first whether the line is there
};

constexpr CommandKind kCommands[] = {
    {nullptr, kWhole, 'F', Naming::existing},
    {nullptr, kWhole, 'G', Naming::created},
    {prepare_bottom, kWhole, 'I', std::nullopt},
    {prepare_top, kWhole, 'T', std::nullopt, true},
    {prepare_remove, kWhole, 'R', std::nullopt},
    {prepare_append_after, kAppendRule, 'A', std::nullopt},
    {prepare_swap, kSwapRule, 'S', std::nullopt},
    {prepare_concat_at_beginning, kEditRule, 'C', std::nullopt},
    {prepare_concat_at_end, kEditRule, 'E', std::nullopt},
    {prepare_unconcat, kEditRule, 'U', std::nullopt},
    {prepare_varsub, kEditRule, 'V', std::nullopt},
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

// Calls `each` with every line of the instruction file, its number and whether it ends with a
// lone LF (a last line without a break as the line before it): a line ends with CR LF or with
// a lone LF, neither of which belongs to it.
template <typename Each>
void for_each_line(std::string_view rest, Each&& each) {
  bool lf_alone = false;
  for (long long line_number = 1; !rest.empty(); ++line_number) {
    std::size_t lf = rest.find('\n');
    std::size_t length = lf == std::string_view::npos ? rest.size() : lf + 1;
    std::string_view line = rest.substr(0, length);
    rest.remove_prefix(length);
    if (line.ends_with('\n')) lf_alone = !line.ends_with("\r\n");
    line.remove_suffix(line.ends_with("\r\n") ? 2 : line.ends_with('\n') ? 1 : 0);
    each(line, line_number, lf_alone);
  }
}

// An instruction file that names no target: a problem of the report (shown by a strict run,
// which looks for it first), and said on standard error.
void say_no_target(const Run& run, bool shown) {
  run.report.problem({std::nullopt, std::nullopt, platform::message_line(kNoTargetNamed, run.job)},
                     shown);
  run.report.told(run.job, "no target is named");
}

// A strict run looks at the whole job before it opens a file: every problem that the
// instruction file shows by itself is said, in order, and then nothing is carried out.
bool problems_before_running(const Run& run, std::string_view instructions) {
  bool found_any = false;
  std::optional<std::string_view> target;  // the target the lines belong to
  for_each_line(instructions, [&](std::string_view line, long long line_number, bool) {
    if (!line.starts_with(kCommandMark)) return;
    const CommandKind* found = command_of(line);
    std::optional<LineProblem> problem;
    if (found == nullptr) {
      problem = LineProblem::invalid_command;
    } else if (!found->names && !target) {
      problem = LineProblem::no_target_loaded;
    } else if (found->rule.two_parts && !has_both_parts(argument_of(line))) {
      problem = LineProblem::missing_part;
    }
    if (found != nullptr && found->names) target = argument_of(line);
    if (problem) say_problem(run, *problem, line_number, target);
    found_any = found_any || problem.has_value();
  });
  if (!target) say_no_target(run, true);
  return found_any || !target;
}

// The instruction file is read whole (it may be a pipe; "-" is standard input), before any
// command is carried out, and taken as one byte per character whatever mark an editor put in
// front. What went wrong is the run's error line.
std::optional<std::string> read_instructions(const Run& run, EncodingKind& kind) {
  const std::string path(run.job);
  std::string error;
  platform::File file;
  platform::FileBytes bytes;
  std::string piped;
  platform::Status reason;
  if (path == kStandardInput) {
    reason = run.console.read_input(piped);
    if (!reason) error = platform::message_line(kCouldNotRead, path);
  } else if (reason = run.disk.open_for_reading(path, platform::Accept::anything_but_folder, file);
             !reason) {
    error = platform::message_line(kCouldNotOpen, path);
  } else if (reason = platform::read_whole(run.disk, file, bytes); !reason) {
    error = platform::message_line(kCouldNotRead, path);
  }
  if (error.empty()) {
    std::string_view text = path == kStandardInput ? std::string_view(piped) : bytes.view();
    kind = encoding_from_mark(text);
    if (auto read = read_marked_text(text, run.settings.target.unicode, reason)) return read;
    error = platform::message_line(kInstructionsWouldLoseCharacters, path);
  }
  run.report.stopped(error);
  explain(run, path, reason);
  return std::nullopt;
}

// A line that begins with the command mark: a target named, a command of the loaded target
// held with it, or, while none is loaded, a problem said at once. A file .G makes in its own form
// takes the line end of the .G line.
Met dispatch(const Run& run, Editing& editing, std::string_view line, long long number,
             bool lf_alone) {
  const CommandKind* found = command_of(line);
  Met met;
  bool traced = run.settings.test_mode;
  if (found != nullptr && found->names) {
    met = editing.name(argument_of(line), *found->names, line, lf_alone);
  } else if (editing.loaded()) {
    // Its traces and its waits too are held with the line, to come in their place.
    editing.take(found ? found->letter : '\0', found ? found->prepare : nullptr,
                 found ? found->rule : kWhole, found && found->top, argument_of(line), line,
                 number);
    return met;
  } else {
    if (traced) run.report.trace(platform::formatted(kTraceOperation, line));
    met = say_problem(run, found ? LineProblem::no_target_loaded : LineProblem::invalid_command,
                      number, editing.target());
  }
  if (traced) {
    run.report.trace(platform::formatted(kTraceEnd, line));
    run.report.wait(Wait::enter);
  }
  return met;
}
}  // namespace

std::string job_line(std::string_view job, long long number) {
  return std::string(job).append(":").append(std::to_string(number));
}

Met say_problem(const Run& run, LineProblem problem, long long number,
                std::optional<std::string_view> target) {
  struct Words {
    std::string_view shown;  // on standard output
    std::string_view told;   // on standard error
  };
  static constexpr Words kWords[] = {
      {"Invalid command found on line %d", "invalid command"},
      {"Missing field separator on line %d - command ignored",
       "missing field separator, command ignored"},
      {"No target loaded for the command on line %d", "no target loaded, command ignored"},
  };
  const Words& words = kWords[static_cast<int>(problem)];
  Notice notice{number, std::nullopt, platform::message_line(words.shown, std::to_string(number))};
  if (target) notice.target = std::string(*target);
  // A command while no target is loaded has always been skipped without a word, but in a strict
  // run.
  run.report.problem(notice, problem != LineProblem::no_target_loaded || run.settings.strict);
  run.report.told(job_line(run.job, number), words.told);
  return {.errors = run.settings.strict};
}

Met say_line_problem(const Run& run, const Notice& problem) {
  run.report.problem(problem, false);
  run.report.told(job_line(run.job, problem.line.value_or(0)), problem.message);
  return {.problems = true};
}

void say_warning(const Run& run, const Notice& warning) {
  run.report.warning(warning);
  run.report.told(job_line(run.job, warning.line.value_or(0)), warning.message);
}

void explain(const Run& run, std::string_view path, const platform::Status& reason) {
  if (!reason.done()) run.report.told(path, platform::describe(reason));
}

RunOutcome run_job(const std::string& path, const RunSettings& settings, platform::Disk& disk,
                   platform::Console& console, Report& report, bool command_line_problems) {
  // What the command lines say, test mode's stored lines and what is said while new content
  // waits share one scratch file and the memory they may hold: enough for a report line from
  // each of a hundred thousand lines.
  constexpr std::size_t kHeldMemory = std::size_t{8} << 20;
  auto store = std::make_shared<platform::SpoolFile>(disk, kHeldMemory);
  HeldReport held(report, store);
  Run run{settings, path, disk, console, held};
  EncodingKind job_kind = EncodingKind::plain;
  std::optional<std::string> instructions = read_instructions(run, job_kind);
  if (!instructions) return RunOutcome::instructions_unusable;
  run.job_in_utf16 = !settings.target.unicode && unit_size(job_kind) == 2;
  if (settings.strict && (problems_before_running(run, *instructions) || command_line_problems)) {
    return RunOutcome::completed_with_errors;
  }
  Editing editing(run, held, store);
  Met met;
  try {
    for_each_line(*instructions, [&](std::string_view line, long long number, bool lf_alone) {
      if (line.starts_with(kCommandMark)) met |= dispatch(run, editing, line, number, lf_alone);
    });
    met |= editing.finish();
  } catch (const std::bad_alloc&) {
    editing.settle_before_ending();
    throw;
  }
  if (!met.named) say_no_target(run, false);
  if (met.errors || (met.problems && settings.strict)) return RunOutcome::completed_with_errors;
  return met.would_change ? RunOutcome::would_change : RunOutcome::completed;
}

RunOutcome run_instruction_file(const std::string& path, const RunSettings& settings,
                                platform::Disk& disk) {
  platform::Console& console = platform::system_console();
  std::unique_ptr<Report> report = console_report(console, settings.test_mode);
  RunOutcome outcome = run_job(path, settings, disk, console, *report);
  console.flush();
  return outcome;
}

}  // namespace zeltrim
