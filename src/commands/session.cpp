// Naming targets, carrying out commands on a target held whole, and writing targets back —
// with every message about a target, printed from what the target room reports.
#include "commands/session.h"

#include <algorithm>
#include <iterator>

#include "commands/pipeline.h"
#include "platform/console.h"

namespace zeltrim {

namespace {
constexpr std::string_view kMakingChangesF = "Making changes to %s\n\n";
constexpr std::string_view kMakingChangesG = "Making changes to %s\n";
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
constexpr std::string_view kNoBackup = "Error keeping a backup of %s, file left unchanged\n";
constexpr std::string_view kChangedMeanwhile =
    "Error - %s was changed by another program while it was being edited, file left "
    "unchanged\n";
constexpr std::string_view kCannotWrite =
    "Error - %s cannot be written without losing characters, file left unchanged\n";
constexpr std::string_view kWaiting = "Waiting for %s: another run of ZELTRIM is editing it\n";
constexpr std::string_view kNotDurable =
    "Error syncing the folder of %s: the new content is in place but may not survive a power "
    "failure\n";
constexpr std::string_view kBackupKept = "  BACKUP of old file kept as : %s\n";
constexpr std::string_view kWouldChange = "NO-WRITE mode: %s would be changed\n";
constexpr std::string_view kNoScratch = "NO-WRITE mode: no scratch file can be made in %s\n";
constexpr std::string_view kOnlyForm =
    "Only the line ends or the end mark of %s change; its lines stay as they are\n";
constexpr std::string_view kFormToo = "The line ends or the end mark of %s change too\n";
constexpr std::string_view kAsText =
    "The diff of %s shows its lines as UTF-8 text; it is no patch of the file's bytes\n";

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

// The change as a diff, after a line saying what the diff cannot show plainly; only for a file
// that is written (or would be), so that the diff, applied, gives what the run writes.
void say_diff(const std::string& path, WriteOutcome& outcome) {
  const DiffSummary& summary = outcome.diff_summary;
  bool written = outcome.result == WriteResult::written ||
                 outcome.result == WriteResult::not_durable ||
                 outcome.result == WriteResult::would_change;
  if (!written || (outcome.diff.empty() && !summary.form_changed)) return;
  if (summary.form_changed) platform::say(summary.lines_changed ? kFormToo : kOnlyForm, path);
  if (!outcome.diff.empty() && summary.as_text) platform::say(kAsText, path);
  outcome.diff.print();
}

// What happened to the file; false when it is an error.
bool say_written(const std::string& path, const WriteOutcome& outcome) {
  switch (outcome.result) {
    case WriteResult::written:
      if (!outcome.backup_path.empty()) platform::say(kBackupKept, outcome.backup_path);
      return true;
    case WriteResult::unchanged:
    case WriteResult::nothing_to_write:
      return true;
    case WriteResult::would_change:
      platform::say(kWouldChange, path);
      return true;
    case WriteResult::read_only:
      platform::say(kErrorOpening, path);
      platform::say(kReadOnly, path);
      break;
    case WriteResult::no_temp_file:
      platform::say(kErrorOpening, path);
      platform::say(kNoTempFile, path);
      break;
    case WriteResult::no_scratch:
      platform::say(kNoScratch, outcome.reason_path);
      break;
    case WriteResult::cannot_write:
      platform::say(kErrorWriting, path);
      break;
    case WriteResult::no_backup:
      platform::say(kNoBackup, path);
      break;
    case WriteResult::changed_meanwhile:
      platform::say(kChangedMeanwhile, path);
      break;
    case WriteResult::would_lose_characters:
      platform::say(kCannotWrite, path);
      break;
    case WriteResult::not_durable:
      if (!outcome.backup_path.empty()) platform::say(kBackupKept, outcome.backup_path);
      platform::say(kNotDurable, path);
      break;
  }
  explain(outcome.reason_path.empty() ? path : outcome.reason_path, outcome.reason);
  return false;
}
}  // namespace

void explain(const std::string& path, const platform::Status& reason) {
  if (!reason.done()) platform::tell_error("zeltrim: " + path + ": " + platform::describe(reason));
}

void say_problem(Run& run, LineProblem problem, long long number, HeldWords* held) {
  struct Words {
    std::string_view said;
    std::string_view told;
  };
  static constexpr Words kWords[] = {
      {"Invalid command found on line %d\n", "invalid command"},
      {"Missing field separator on line %d - command ignored\n",
       "missing field separator, command ignored"},
      {"No target loaded for the command on line %d\n", "no target loaded, command ignored"},
  };
  const Words& words = kWords[static_cast<int>(problem)];
  // A command while no target is loaded has always been skipped without a word, but in a strict
  // run.
  bool said = problem != LineProblem::no_target_loaded || run.settings.strict;
  std::string told = told_problem(run.line(number), words.told);
  if (held != nullptr) {
    if (said) held->said.append_formatted(words.said, {std::to_string(number)});
    held->told.push_back(std::move(told));
  } else {
    if (said) platform::say(words.said, number);
    platform::tell_error(told);
  }
  if (run.settings.strict) run.errors = true;
}

namespace {
// Where nothing is written, the file as it would be is kept for the next time it is named: what
// this write-back would have made, else what it was given.
void keep_would_be(Run& run, WriteOutcome& outcome) {
  if (outcome.would_be.is_open()) {
    run.would_be[run.target_key] = std::move(outcome.would_be);
  } else if (run.target_from_would_be && run.target.original.is_open()) {
    run.would_be[run.target_key] = std::move(run.target.original);
  }
}
}  // namespace

void write_back(Run& run) {
  Target& target = run.target;
  if (target.path.empty()) return;
  // A file keeps the backup of its content from before the run: one named again, by any name,
  // gets none, nor does a file the run made.
  TargetOptions options = run.settings.target;
  options.backup = options.backup && !run.backed_up.contains(run.target_key);
  WriteOutcome outcome;
  if (run.streaming && (!target.loaded() || !stream(run, options, outcome))) {
    keep_would_be(run, outcome);
    return;
  }
  if (!run.streaming) {
    TracedLines traced;
    outcome =
        write_target(target, options, run.settings.test_mode ? &traced : nullptr, options.no_write);
  }
  say_diff(target.path, outcome);
  if (!say_written(target.path, outcome)) run.errors = true;
  bool replaced = outcome.result == WriteResult::written ||
                  outcome.result == WriteResult::not_durable ||
                  outcome.result == WriteResult::would_change;
  if (outcome.result == WriteResult::would_change) run.would_change = true;
  if (replaced && !options.keep_form &&
      (target.kind == EncodingKind::plain || target.kind == EncodingKind::utf8) &&
      target.form.tail_size > 1) {
    platform::tell_error("zeltrim: " + target.path + ": " +
                         std::to_string(target.form.tail_size - 1) +
                         " bytes after the end mark dropped");
  }
  if (replaced && (options.backup || target.made)) {
    run.backed_up.insert(options.no_write ? run.target_key : platform::identity_key(target.path));
  }
  keep_would_be(run, outcome);
}

namespace {
// /o: a command that must see the lines it will meet before the first of them (.T) looks ahead
// at them: the first lines of the file pass through copies of the commands before it, which
// say nothing, and stop as soon as the command has seen enough. Only the first lines: a line
// added at the top by an earlier run is among them, a line that is not there is taken to be
// absent without reading the file twice, and the rare line further down makes it pass again.
void look_ahead(Run& run, const std::vector<Command*>& commands, std::size_t looking) {
  bool ignored = false;
  CommandContext silent(run.settings, &ignored, {}, nullptr, true);
  std::vector<std::unique_ptr<Command>> copies;
  std::vector<Command*> before;
  std::size_t at = 0;
  for (Entry& entry : run.entries) {
    if (entry.command == nullptr) continue;
    if (at++ == looking) break;
    copies.push_back(entry.prepare(entry.argument, silent));
    if (copies.back()->previews()) copies.back()->adopt_preview(*entry.command);
    before.push_back(copies.back().get());
  }
  Command& command = *commands[looking];
  Pipeline ahead(before, [&](const Line& line) {
    if (!command.previewed_enough()) command.preview(line);
  });
  TargetReader reader(run.target);
  std::uint64_t read = 0;
  for (Line line; !command.previewed_enough() && reader.next(line);) {
    if (read++ == run.settings.look_ahead_lines) return;
    ahead.feed(line);
  }
  if (!command.previewed_enough()) ahead.end();
}

// What each command line had said before the first pass: its report's size, its problems.
struct SaidBefore {
  std::uint64_t said;
  std::size_t told;
};

// Prepares every command of the target again, each taking what the one before it saw, and
// takes back what they said in the pass that is undone.
void prepare_again(Run& run, const std::vector<SaidBefore>& said_before) {
  for (std::size_t at = 0; at < run.entries.size(); ++at) {
    Entry& entry = run.entries[at];
    entry.words.said.rewind(said_before[at].said);
    entry.words.told.resize(said_before[at].told);
    if (entry.command == nullptr) continue;
    CommandContext context(run.settings, &run.command_problems, run.line(entry.number),
                           &entry.words);
    std::unique_ptr<Command> again = entry.prepare(entry.argument, context);
    if (again->previews()) again->adopt_preview(*entry.command);
    entry.command = std::move(again);
  }
}
}  // namespace

bool stream(Run& run, const TargetOptions& options, WriteOutcome& outcome) {
  Target& target = run.target;
  std::vector<SaidBefore> said_before(run.entries.size());
  std::transform(run.entries.begin(), run.entries.end(), said_before.begin(),
                 [](const Entry& entry) -> SaidBefore {
                   return {entry.words.said.size(), entry.words.told.size()};
                 });
  const bool problems_before = run.command_problems;
  for (bool first_pass = true;; first_pass = false) {
    std::vector<Command*> commands;
    for (Entry& entry : run.entries) {
      if (entry.command != nullptr) commands.push_back(entry.command.get());
    }
    for (std::size_t at = 0; first_pass && at < commands.size(); ++at) {
      if (commands[at]->previews()) look_ahead(run, commands, at);
    }
    TargetReader reader(target);
    TargetWriter writer(target, options, options.no_write);
    Pipeline pipeline(commands, [&writer](const Line& line) { writer.put(line); });
    for (Line line; reader.next(line);) {
      writer.read(line);
      pipeline.feed(line);
      writer.read_passed();
    }
    if (reader.result() != LoadResult::loaded) {
      // The file could not be read whole: nothing of it is written, and the commands say what
      // they say when their target does not load.
      target.result = reader.result();
      target.reason = reader.reason();
      say_loaded(run);
      for (const Entry& entry : run.entries) {
        if (entry.if_not_loaded) say_problem(run, *entry.if_not_loaded, entry.number);
      }
      return false;
    }
    pipeline.end();
    // Each pass settles at least one more of the commands that looked ahead, in their order.
    if (!std::all_of(commands.begin(), commands.end(),
                     [](const Command* command) { return command->preview_confirmed(); })) {
      prepare_again(run, said_before);
      run.command_problems = problems_before;
      continue;  // what the writer made is thrown away
    }
    target.form = reader.form();
    target.held_lines = pipeline.held_lines();
    outcome = writer.finish();
    for (Entry& entry : run.entries) entry.words.print();
    return true;
  }
}

void name_target(Run& run, std::string_view argument, Naming naming) {
  write_back(run);
  run.named_a_target = true;
  std::string path(argument);
  platform::say(naming == Naming::created ? kMakingChangesG : kMakingChangesF, path);
  EncodingKind previous = run.target.kind;
  run.target = Target();  // the file it held is closed before the next is opened
  platform::File would_be;
  run.target_from_would_be = false;
  if (run.settings.target.no_write || run.settings.target.backup) {
    run.target_key = platform::identity_key(path);
  }
  if (run.settings.target.no_write) {
    if (auto kept = run.would_be.find(run.target_key); kept != run.would_be.end()) {
      would_be = std::move(kept->second);
      run.would_be.erase(kept);
      run.target_from_would_be = true;
    }
  }
  auto waiting = [&path] {
    platform::say(kWaiting, path);
    platform::flush_output();
  };
  run.entries.clear();
  // A file that cannot be looked at takes the kind of the target before it.
  if (run.streaming) {
    run.target =
        open_target(path, naming, previous, run.settings.target, std::move(would_be), waiting);
  } else {
    run.target =
        load_target(path, naming, previous, run.settings.target, std::move(would_be), waiting);
  }
  say_loaded(run);
}

void apply(Command& command, Target& target) {
  LineList& lines = target.lines;
  std::vector<Line>& queued = command.queued();
  if (!command.meets_lines()) {
    command.begin();
    for (std::size_t at = queued.size(); at-- > 0;) lines.push_front(target.store.kept(queued[at]));
    queued.clear();
    command.end();
    std::transform(queued.begin(), queued.end(), std::back_inserter(lines),
                   [&target](const Line& line) { return target.store.kept(line); });
    queued.clear();
  } else {
    if (command.previews()) {
      for (const Line& line : lines) command.preview(line);
    }
    LineList out;
    auto take_queued = [&] {
      std::transform(queued.begin(), queued.end(), std::back_inserter(out),
                     [&target](const Line& line) { return target.store.kept(line); });
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

}  // namespace zeltrim
