// The dispatcher: walks the instruction file, names targets, and carries out each command on
// the current target. Every message about a target is printed here, from what loading and
// writing back report.
#include "commands/interpreter.h"

#include <cstring>
#include <optional>
#include <string>

#include "commands/command_kit.h"
#include "commands/handlers.h"
#include "platform/console.h"
#include "platform/files.h"
#include "target/target_file.h"

namespace zeltrim {

namespace {
constexpr std::string_view kCouldNotOpen = "Could not open file %s\n";
constexpr std::string_view kCouldNotRead = "Could not read file %s\n";
constexpr std::string_view kInstructionsWouldLoseCharacters =
    "Error - %s cannot be read without losing characters\n";
constexpr std::string_view kMakingChangesF = "Making changes to %s\n\n";
constexpr std::string_view kMakingChangesG = "Making changes to %s\n";
constexpr std::string_view kInvalidCommand = "Invalid command found on line %d\n";
constexpr std::string_view kMissingPart = "Missing field separator on line %d - command ignored\n";
constexpr std::string_view kTraceOperation = "TEST MODE: operation is %s\n\n";
constexpr std::string_view kTraceEnd =
    "TEST MODE: end of %s operation\n\nTEST MODE: Press ENTER to continue...\n\n";
constexpr std::string_view kTraceLoaded = "TEST MODE: leaving get_target_file\n";
constexpr std::string_view kTraceStored = "TEST MODE: stored: %s\n";

// Loading.
constexpr std::string_view kErrorOpeningFile = "Error opening file %s in ZELTRIM.EXE\n";
constexpr std::string_view kErrorClosingFile = "Error closing file %s in ZELTRIM.EXE\n";
constexpr std::string_view kErrorReadingFile =
    "Error reading file %s in ZELTRIM.EXE, file left unchanged\n";
constexpr std::string_view kWouldLoseCharacters =
    "Error - %s cannot be edited without losing characters, file left unchanged\n";

// Writing back.
constexpr std::string_view kErrorOpening = "Error opening %s\n";
constexpr std::string_view kReadOnly =
    "%s is read-only: the changes were not written, file left unchanged\n";
constexpr std::string_view kNoTempFile =
    "No temporary file can be made beside %s: the changes were not written, file left "
    "unchanged\n";
constexpr std::string_view kErrorWriting = "Error writing %s, file left unchanged\n";
constexpr std::string_view kNotDurable =
    "Error syncing the folder of %s: the new content is in place but may not survive a power "
    "failure\n";

constexpr char kCommandMark = '.';
// The letter is the second byte and the argument starts at the fourth: the third byte
// (a space in every example) is skipped whatever it is.
constexpr std::size_t kLetterAt = 1;
constexpr std::size_t kArgumentAt = 3;

// The system's reason for a failure, on standard error: "zeltrim: PATH: reason".
void explain(const std::string& path, const platform::Status& reason) {
  if (!reason.done()) platform::tell_error("zeltrim: " + path + ": " + platform::describe(reason));
}

char upper_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// One run of the instruction file: the current target and whether anything went wrong.
struct Run {
  explicit Run(const RunSettings& run_settings) : settings(run_settings) {}

  const RunSettings& settings;
  Target target;  // its path is empty until the first .F or .G
  bool errors = false;
};

// Test mode shows every line as it is written back and waits for a key after it.
class TracedLines final : public WriteTrace {
 public:
  void stored(std::string_view text) override {
    platform::say(kTraceStored, text);
    platform::wait_for_key();
  }
};

void say_loaded(Run& run) {
  const Target& target = run.target;
  switch (target.result) {
    case LoadResult::loaded:
      if (run.settings.test_mode) platform::say(kTraceLoaded);
      return;
    case LoadResult::cannot_open:
      platform::say(kErrorOpeningFile, target.path);
      break;
    case LoadResult::cannot_read:
      platform::say(kErrorReadingFile, target.path);
      break;
    case LoadResult::would_lose_characters:
      platform::say(kWouldLoseCharacters, target.path);
      break;
    case LoadResult::cannot_close:
      platform::say(kErrorClosingFile, target.path);
      break;
  }
  explain(target.path, target.reason);
  run.errors = true;
}

// Writes the current target back, if one was named.
void write_back(Run& run) {
  if (run.target.path.empty()) return;
  TracedLines traced;
  WriteOutcome outcome = write_target(run.target, run.settings.test_mode ? &traced : nullptr);
  const std::string& path = run.target.path;
  switch (outcome.result) {
    case WriteResult::written:
    case WriteResult::unchanged:
    case WriteResult::nothing_to_write:
      return;
    case WriteResult::read_only:
      platform::say(kErrorOpening, path);
      platform::say(kReadOnly, path);
      break;
    case WriteResult::no_temp_file:
      platform::say(kErrorOpening, path);
      platform::say(kNoTempFile, path);
      break;
    case WriteResult::cannot_write:
      platform::say(kErrorWriting, path);
      break;
    case WriteResult::not_durable:
      platform::say(kNotDurable, path);
      break;
  }
  explain(path, outcome.reason);
  run.errors = true;
}

void name_target(Run& run, std::string_view argument, Naming naming) {
  write_back(run);
  std::string path(argument);
  platform::say(naming == Naming::created ? kMakingChangesG : kMakingChangesF, path);
  // A file that cannot be looked at takes the kind of the target before it.
  run.target = load_target(path, naming, run.target.kind);
  say_loaded(run);
}

void name_existing(Run& run, std::string_view argument, long long) {
  name_target(run, argument, Naming::existing);
}

void name_created(Run& run, std::string_view argument, long long) {
  name_target(run, argument, Naming::created);
}

// Carries out one command over the current target's lines.
void apply(Command& command, Target& target) {
  LineList& lines = target.lines;
  std::vector<Line>& queued = command.queued();
  if (!command.meets_lines()) {
    command.begin();
    for (auto line = queued.rbegin(); line != queued.rend(); ++line) {
      lines.push_front(target.store.kept(*line));
    }
    queued.clear();
    command.end();
    for (const Line& line : queued) lines.push_back(target.store.kept(line));
    queued.clear();
  } else {
    LineList out;
    auto take_queued = [&] {
      for (const Line& line : queued) out.push_back(target.store.kept(line));
      queued.clear();
    };
    command.begin();
    take_queued();
    for (Line line : lines) {
      switch (command.take(line)) {
        case Taken::pass:
          out.push_back(target.store.kept(line));
          break;
        case Taken::drop:
          break;
        case Taken::queued:
          take_queued();
          break;
      }
    }
    command.end();
    take_queued();
    lines = std::move(out);
  }
  if (!lines.empty()) target.held_lines = true;
}

template <Prepare prepare>
void carry_out(Run& run, std::string_view argument, long long line_number) {
  CommandContext context(run.settings);
  std::unique_ptr<Command> command = prepare(argument, context);
  if (command == nullptr) {
    platform::say(kMissingPart, line_number);
    return;
  }
  apply(*command, run.target);
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
  for (const CommandEntry& entry : kCommands) {
    if (entry.letter != letter) continue;
    if (!entry.needs_target || run.target.loaded()) entry.handler(run, argument, line_number);
    return;
  }
  platform::say(kInvalidCommand, line_number);
}

// The instruction file is read whole (it may be a pipe), before any command is carried out,
// and taken as one byte per character whatever mark an editor put in front.
std::optional<std::string> read_instructions(const std::string& path) {
  platform::File file;
  platform::FileBytes bytes;
  platform::Status reason =
      platform::open_for_reading(path, platform::Accept::anything_but_folder, file);
  if (!reason) {
    platform::say(kCouldNotOpen, path);
  } else if (reason = platform::read_whole(file, bytes); !reason) {
    platform::say(kCouldNotRead, path);
  } else if (std::optional<std::string> text = narrow_marked_text(bytes.view())) {
    return text;
  } else {
    platform::say(kInstructionsWouldLoseCharacters, path);
  }
  explain(path, reason);
  return std::nullopt;
}
}  // namespace

RunOutcome run_instruction_file(const std::string& path, const RunSettings& settings) {
  std::optional<std::string> instructions = read_instructions(path);
  if (!instructions) return RunOutcome::instructions_unusable;

  Run run(settings);
  CommandContext context(settings);
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
  return run.errors ? RunOutcome::completed_with_errors : RunOutcome::completed;
}

}  // namespace zeltrim
