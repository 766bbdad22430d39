// Naming targets and writing them back, with every message about a target, printed from what the
// file layer reports.
#include "commands/session.h"

#include "commands/carrying.h"
#include "commands/json_report.h"
#include "commands/settling.h"
#include "platform/console.h"

namespace zeltrim {

namespace {
constexpr std::string_view kMakingChangesF = "Making changes to %s\n\n";
constexpr std::string_view kMakingChangesG = "Making changes to %s\n";
constexpr std::string_view kTraceLoaded = "TEST MODE: leaving get_target_file\n";
constexpr std::string_view kWaiting = "Waiting for %s: another run of ZELTRIM is editing it\n";
constexpr std::string_view kBackupKept = "  BACKUP of old file kept as : %s\n";
constexpr std::string_view kOnlyForm =
    "Only the line ends or the end mark of %s change; its lines stay as they are\n";
constexpr std::string_view kFormToo = "The line ends or the end mark of %s change too\n";
constexpr std::string_view kAsText =
    "The diff of %s shows its lines as UTF-8 text; it is no patch of the file's bytes\n";

// What a target that did not load says, by LoadResult (none for the one that did).
constexpr std::string_view kNotLoaded[] = {
    {},
    "Error opening file %s in ZELTRIM.EXE\n",
    "Error reading file %s in ZELTRIM.EXE, file left unchanged\n",
    "Error - %s cannot be edited without losing characters, file left unchanged\n",
    "Error closing file %s in ZELTRIM.EXE\n",
};

// What a write-back says, by WriteResult: its lines, each naming the target (but the scratch
// folder, where no scratch file can be made), and whether it is an error.
struct Said {
  std::string_view first;
  std::string_view second;
  bool error;
};
constexpr Said kWritten[] = {
    {{}, {}, false},  // written: a backup is said
    {{}, {}, false},  // unchanged
    {{}, {}, false},  // nothing to write
    {"NO-WRITE mode: %s would be changed\n", {}, false},
    {"Error opening %s\n", "%s is read-only: the changes were not written, file left unchanged\n",
     true},
    {"Error opening %s\n",
     "No temporary file can be made beside %s: the changes were not written, file left "
     "unchanged\n",
     true},
    {"NO-WRITE mode: no scratch file can be made in %s\n", {}, true},
    {"Error writing %s, file left unchanged\n", {}, true},
    {"Error keeping a backup of %s, file left unchanged\n", {}, true},
    {"Error - %s cannot be written without losing characters, file left unchanged\n", {}, true},
    {"Error - %s was changed by another program while it was being edited, file left "
     "unchanged\n",
     {},
     true},
    {"Error syncing the folder of %s: the new content is in place but may not survive a power "
     "failure\n",
     {},
     true},
};
static_assert(std::size(kWritten) == static_cast<std::size_t>(WriteResult::not_durable) + 1);

// Whether new content is in place (or, where nothing is written, would be).
bool replaced(WriteResult result) {
  return result == WriteResult::written || result == WriteResult::not_durable ||
         result == WriteResult::would_change;
}

// The change as a diff, after a line saying what the diff cannot show plainly; only for a file
// that is written (or would be), so that the diff, applied, gives what the run writes.
void say_diff(Run& run, const std::string& path, WriteOutcome& outcome) {
  const DiffSummary& summary = outcome.diff_summary;
  if (!replaced(outcome.result)) return;
  std::string notes;
  if (summary.form_changed)
    notes = message_line(summary.lines_changed ? kFormToo : kOnlyForm, path);
  // UTF-16 and UTF-32 text says so wherever its change is not only its form: also where the old
  // lines cannot be shown at all.
  if (summary.as_text && (!outcome.diff.empty() || !summary.form_changed)) {
    notes.append(notes.empty() ? "" : "\n").append(message_line(kAsText, path));
  }
  if (!notes.empty()) notes.push_back('\n');
  if (run.json == nullptr) {
    platform::print(notes);
    return outcome.diff.print();
  }
  std::string& diff = run.json->target().diff;
  diff = std::move(notes);
  outcome.diff.drain([&diff](std::string_view piece) { diff.append(piece); });
}

// What happened to the file; false when it is an error.
bool say_written(Run& run, const std::string& path, const WriteOutcome& outcome) {
  const Said& said = kWritten[static_cast<int>(outcome.result)];
  const std::string& named = outcome.result == WriteResult::no_scratch ? outcome.reason_path : path;
  const std::string& about = outcome.reason_path.empty() ? path : outcome.reason_path;
  if (run.json != nullptr) {
    JsonReport::TargetReport& target = run.json->target();
    target.changed = replaced(outcome.result);
    if (!outcome.backup_path.empty()) target.backup = outcome.backup_path;
    if (said.error) {
      target.error = message_line(said.first, named);
      if (!said.second.empty()) target.error->append("\n").append(message_line(said.second, named));
      if (!outcome.reason.done()) target.reason = platform::describe(outcome.reason);
    }
  } else {
    if (!outcome.backup_path.empty()) platform::say(kBackupKept, outcome.backup_path);
    for (std::string_view line : {said.first, said.second}) {
      if (!line.empty()) platform::say(line, named);
    }
  }
  if (said.error) explain(about, outcome.reason);
  return !said.error;
}

// Where nothing is written, the file as it would be is kept for the next time it is named: what
// this write-back would have made, else what it was given, else the empty file .G would make.
void keep_shadow(Run& run, platform::File would_be) {
  Current& current = run.current;
  if (would_be.is_open()) {
    run.shadows[current.key] = std::move(would_be);
  } else if (current.from_shadow && current.target.original.is_open()) {
    run.shadows[current.key] = std::move(current.target.original);
  } else if (current.target.made && current.loaded && run.settings.target.no_write) {
    // .G would have made the file at once: it is there, empty, whatever its write-back met.
    platform::File made;
    if (run.disk.open_scratch(made)) run.shadows[current.key] = std::move(made);
  }
}

// Under /o, the command lines of the target that a second run would meet again, said before its
// lines are read.
void warn_unsettled(Run& run) {
  std::vector<JobCommand> job;
  std::vector<HeldLine*> lines;
  for (HeldLine& held : run.current.held) {
    if (!held.command) continue;
    job.push_back({held.number, held.command.get()});
    lines.push_back(&held);
  }
  for (Unsettled& found : find_unsettled(job)) {
    HeldLine& held = *lines[found.at];
    if (run.settings.passes()) {
      say_warning(run, held.number, found.message);
    } else {
      held.warnings.push_back(std::move(found.message));
    }
  }
}
}  // namespace

void explain(const std::string& path, const platform::Status& reason) {
  if (!reason.done()) platform::tell_error("zeltrim: " + path + ": " + platform::describe(reason));
}

void say(const Run& run, std::string_view format, std::string_view argument) {
  if (run.json == nullptr) platform::say(format, argument);
}

namespace {
std::optional<std::string> current_target(const Run& run) {
  const std::string& path = run.current.target.path;
  return path.empty() && !run.tally.named_a_target ? std::nullopt : std::optional(path);
}
}  // namespace

void say_warning(Run& run, long long number, std::string_view message) {
  if (run.json != nullptr) {
    run.json->warnings.push_back({number, std::string(message), current_target(run)});
  } else {
    platform::tell_error(told_problem({run.job, number}, message));
  }
}

void say_problem(Run& run, LineProblem problem, long long number,
                 std::optional<std::string_view> target) {
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
  std::string said = message_line(words.said, std::to_string(number));
  if (run.json != nullptr) {
    run.json->problems.push_back(
        {number, said, target ? std::optional<std::string>(*target) : current_target(run)});
  } else if (problem != LineProblem::no_target_loaded || run.settings.strict) {
    // A command while no target is loaded has always been skipped without a word, but in a
    // strict run.
    platform::print(said + "\n");
  }
  platform::tell_error(told_problem({run.job, number}, words.told));
  if (run.settings.strict) run.tally.errors = true;
}

void say_not_loaded(Run& run, LoadResult result, const platform::Status& reason) {
  if (result == LoadResult::loaded) {
    if (run.settings.test_mode) platform::say(kTraceLoaded);
    return;
  }
  const std::string& path = run.current.target.path;
  if (run.json != nullptr) {
    run.json->target().error = message_line(kNotLoaded[static_cast<int>(result)], path);
    if (!reason.done()) run.json->target().reason = platform::describe(reason);
  } else {
    platform::say(kNotLoaded[static_cast<int>(result)], path);
  }
  explain(path, reason);
  run.tally.errors = true;
  run.current.loaded = false;
}

void write_back(Run& run) {
  Current& current = run.current;
  Target& target = current.target;
  if (target.path.empty()) return;
  // A file keeps the backup of its content from before the run: one named again, by any name,
  // gets none, nor does a file the run made.
  Run::FileRecord record = run.records[current.key];
  record.made = record.made || target.made;
  TargetOptions options = run.settings.target;
  options.backup = options.backup && !record.made && !record.backup_kept;
  run.records[current.key] = record;
  if (!current.loaded) return keep_shadow(run, {});
  if (run.settings.once) warn_unsettled(run);
  std::optional<WriteOutcome> written =
      run.settings.passes() ? write_passes_back(run, options) : carry_out_held(run, options);
  if (!written) return keep_shadow(run, {});
  WriteOutcome& outcome = *written;
  say_diff(run, target.path, outcome);
  if (!say_written(run, target.path, outcome)) run.tally.errors = true;
  if (outcome.result == WriteResult::would_change) run.tally.would_change = true;
  // The backup kept (or, where nothing is written, the one a write-back would keep) is the only
  // one the file gets. Its new content is a new file, which the record follows.
  record.backup_kept = record.backup_kept || !outcome.backup_path.empty() ||
                       (options.backup && options.no_write && replaced(outcome.result));
  run.records[current.key] = record;
  if (!options.no_write && replaced(outcome.result) && !current.key.empty()) {
    run.records.erase(current.key);
    run.records[platform::identity_key(target.path)] = record;
  }
  if (!replaced(outcome.result)) return keep_shadow(run, std::move(outcome.shadow));
  if (!options.keep_form &&
      (target.kind == EncodingKind::plain || target.kind == EncodingKind::utf8) &&
      target.form.tail_size > 1) {
    platform::tell_error("zeltrim: " + target.path + ": " +
                         std::to_string(target.form.tail_size - 1) +
                         " bytes after the end mark dropped");
  }
  keep_shadow(run, std::move(outcome.shadow));
}

void name_target(Run& run, std::string_view argument, Naming naming) {
  write_back(run);
  run.tally.named_a_target = true;
  std::string path(argument);
  say(run, naming == Naming::created ? kMakingChangesG : kMakingChangesF, path);
  if (run.json != nullptr) run.json->targets.emplace_back().path = path;
  EncodingKind previous = run.current.target.kind;
  run.current = Current();  // the file it held is closed before the next is opened
  Current& current = run.current;
  const TargetOptions& options = run.settings.target;
  if (options.no_write || options.backup) current.key = platform::identity_key(path);
  platform::File shadow;
  if (options.no_write) {
    if (auto kept = run.shadows.extract(current.key)) shadow = std::move(kept.mapped());
    current.from_shadow = shadow.is_open();
  }
  auto waiting = [&run, &path] {
    // In JSON mode standard output holds the report alone.
    if (run.json != nullptr) return platform::tell_error(message_line(kWaiting, path));
    platform::say(kWaiting, path);
    platform::flush_output();
  };
  // A file that cannot be looked at takes the kind of the target before it.
  Opened opened =
      open_target(run.disk, path, naming, previous, options, std::move(shadow), waiting);
  current.target = std::move(opened.target);
  current.loaded = opened.result == LoadResult::loaded;
  // A file .G has just made is known by its own identity from now on.
  if (options.backup && !options.no_write && current.target.made) {
    current.key = platform::identity_key(path);
  }
  if (run.json != nullptr && opened.result != LoadResult::cannot_open) {
    run.json->target().kind = current.target.kind;
  }
  if (current.loaded && run.settings.passes()) {
    // Passes read the file through once now, so that a refusal shows at once.
    opened.result = read_into_content(run, opened.reason);
  }
  say_not_loaded(run, opened.result, opened.reason);
}

}  // namespace zeltrim
