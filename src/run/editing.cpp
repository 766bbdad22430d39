#include "run/editing.h"

#include <algorithm>
#include <cstring>

#include "commands/pipeline.h"
#include "commands/settling.h"
#include "platform/paths.h"
#include "textfile/encoding.h"

namespace zeltrim {

namespace {
constexpr std::string_view kTraceLoaded = "TEST MODE: leaving get_target_file\n";
constexpr std::string_view kTraceStored = "TEST MODE: stored: %s\n";
constexpr std::string_view kOnlyForm =
    "Only the line ends or the end mark of %s change; its lines stay as they are";
constexpr std::string_view kFormToo = "The line ends or the end mark of %s change too";
constexpr std::string_view kAsText =
    "The diff of %s shows its lines as UTF-8 text; it is no patch of the file's bytes";

// What a target that did not load says, by LoadResult (none for the one that did).
constexpr std::string_view kNotLoaded[] = {
    {},
    "Error opening file %s in ZELTRIM.EXE",
    "Error reading file %s in ZELTRIM.EXE, file left unchanged",
    "Error - %s cannot be edited without losing characters, file left unchanged",
    "Error closing file %s in ZELTRIM.EXE",
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
    {"NO-WRITE mode: %s would be changed", {}, false},
    {"Error opening %s", "%s is read-only: the changes were not written, file left unchanged",
     true},
    {"Error opening %s",
     "No temporary file can be made beside %s: the changes were not written, file left unchanged",
     true},
    {"NO-WRITE mode: no scratch file can be made in %s", {}, true},
    {"Error writing %s, file left unchanged", {}, true},
    {"Error keeping a backup of %s, file left unchanged", {}, true},
    {"Error - %s cannot be written without losing characters, file left unchanged", {}, true},
    {"Error - %s was changed by another program while it was being edited, file left unchanged",
     {},
     true},
    {"Error - %s failed validation, file left unchanged", {}, true},
    {"Error syncing the folder of %s: the new content is in place but may not survive a power "
     "failure",
     {},
     true},
};
static_assert(std::size(kWritten) == static_cast<std::size_t>(WriteResult::not_durable) + 1);

// Whether new content is in place (or, where nothing is written, would be).
bool replaced(WriteResult result) {
  return result == WriteResult::written || result == WriteResult::not_durable ||
         result == WriteResult::would_change;
}

// A record of what a command line said as the lines passed: its kind, the change it reports, the
// length of its text, then the text.
enum class Record : char { change, trace, problem };
constexpr std::size_t kRecordHead = 2 + sizeof(std::uint32_t);

// Calls `each` with every line of the spool (each ended by an LF, which no text holds), in order.
template <typename Each>
void each_line(platform::Spool& spool, Each&& each) {
  std::string rest;
  spool.drain([&](std::string_view piece) {
    rest.append(piece);
    std::size_t at = 0;
    for (std::size_t lf; (lf = rest.find('\n', at)) != std::string::npos; at = lf + 1) {
      each(std::string_view(rest).substr(at, lf - at));
    }
    rest.erase(0, at);
  });
}
}  // namespace

platform::File KnownFiles::take_shadow(const std::string& key) {
  auto kept = shadows_.extract(key);
  return kept ? std::move(kept.mapped()) : platform::File();
}

void KnownFiles::keep_shadow(const std::string& key, platform::File content) {
  shadows_[key] = std::move(content);
}

bool KnownFiles::may_back_up(const std::string& key) const {
  auto record = records_.find(key);
  return record == records_.end() || (!record->second.made && !record->second.backup_kept);
}

void KnownFiles::note(const std::string& key, bool made, bool backup_kept) {
  Record& record = records_[key];
  record.made = record.made || made;
  record.backup_kept = record.backup_kept || backup_kept;
}

void KnownFiles::moved(const std::string& from, const std::string& to) {
  if (from == to) return;
  Record record = records_[from];
  records_.erase(from);
  records_[to] = record;
}

void CommandLine::record(char kind, char change, std::string_view text) {
  if (quiet) return;
  char head[kRecordHead] = {kind, change};
  auto size = static_cast<std::uint32_t>(text.size());
  std::memcpy(head + 2, &size, sizeof size);
  said_.append_parts({std::string_view(head, kRecordHead), text});
}

void CommandLine::change(Change change, std::string_view text) {
  if (said_quietly) return;
  record(static_cast<char>(Record::change), static_cast<char>(change), text);
}

void CommandLine::trace(std::string_view format, std::string_view text) {
  if (quiet) return;
  std::string traced = platform::formatted(format, text);
  if (!passing) {
    opening_.append(traced);
  } else {
    record(static_cast<char>(Record::trace), 0, traced);
  }
}

// Commands wait only as they are taken, never while the lines pass.
void CommandLine::wait(Wait) {
  if (!passing) waits_.push_back(opening_.size());
}

void CommandLine::problem(std::string_view message) {
  record(static_cast<char>(Record::problem), 0, message);
}

Met CommandLine::play_back(const Run& run, std::string_view target) {
  Met met;
  std::size_t done = 0;
  for (std::size_t at : waits_) {
    run.report.trace(std::string_view(opening_).substr(done, at - done));
    run.report.wait(Wait::enter);
    done = at;
  }
  if (done < opening_.size()) run.report.trace(std::string_view(opening_).substr(done));
  if (problem_found) met |= say_problem(run, *problem_found, number, target);
  std::string records;
  std::size_t at = 0;
  said_.drain([&](std::string_view piece) {
    records.append(piece);
    while (records.size() - at >= kRecordHead) {
      std::uint32_t size = 0;
      std::memcpy(&size, records.data() + at + 2, sizeof size);
      if (records.size() - at - kRecordHead < size) break;
      std::string_view text(records.data() + at + kRecordHead, size);
      auto kind = static_cast<Record>(records[at]);
      if (kind == Record::change) {
        run.report.change(number, letter, static_cast<Change>(records[at + 1]), text);
      } else if (kind == Record::trace) {
        run.report.trace(text);
      } else {
        met |= say_line_problem(run, {number, std::string(target), std::string(text)});
      }
      at += kRecordHead + size;
    }
    records.erase(0, at);
    at = 0;
  });
  for (const std::string& warning : warnings)
    say_warning(run, {number, std::string(target), warning});
  if (run.settings.test_mode) {
    run.report.trace(platform::formatted(kTraceEnd, text));
    run.report.wait(Wait::enter);
  }
  return met;
}

// Test mode waits for the user, a preview has nothing to put in place, and the JSON document is
// built as the run goes: each target is put in place at once.
Editing::Editing(const Run& run, HeldConsole& held)
    : run_(run),
      held_(held),
      store_(held.store()),
      most_waiting_(run.settings.test_mode || run.settings.target.no_write || run.settings.json
                        ? 1
                        : run.disk.most_waiting()),
      stored_(store_) {}

// What a command's argument is to the target: an instruction file in UTF-16 holds characters,
// which a UTF-8 target takes as their UTF-8 bytes; anywhere else bytes are bytes, and a UTF-16
// or UTF-32 target takes each as one character, which is said.
std::string_view Editing::argument_for_target(std::string_view argument, CommandLine& line) {
  bool high_bytes = std::ranges::any_of(argument, [](char byte) { return (byte & 0x80) != 0; });
  if (run_.settings.target.unicode || !high_bytes) return argument;
  if (run_.job_in_utf16) {
    if (target_->kind != EncodingKind::utf8) return argument;
    std::string& in_utf8 = arguments_in_utf8_.emplace_back();
    for (char byte : argument) {
      char bytes[2];
      char* end = bytes;
      put_utf8(static_cast<unsigned char>(byte), end);
      in_utf8.append(bytes, end);
    }
    return in_utf8;
  }
  if (unit_size(target_->kind) > 1) {
    line.warnings.push_back("bytes above 0x7F go into " + target_->path +
                            " as one character each; /u reads the line as UTF-8");
  }
  return argument;
}

void Editing::take(char letter, Prepare prepare, const PartsRule& rule, bool top,
                   std::string_view argument, std::string_view text, long long number) {
  CommandLine& line = lines_.emplace_back(store_, number, letter, text);
  const RunSettings& settings = run_.settings;
  // A quiet run says no report line: none is kept.
  line.said_quietly = settings.quiet && !settings.json && !settings.test_mode;
  if (settings.test_mode) line.trace(kTraceOperation, text);
  if (prepare == nullptr) {
    line.problem_found = LineProblem::invalid_command;
    return;
  }
  argument = argument_for_target(argument, line);
  if (top && settings.once) line.top_line = std::make_unique<TopLine>();
  CommandContext context{settings.once, settings.test_mode, &line, line.top_line.get(),
                         target_->path};
  std::optional<TwoParts> parts = take_parts(argument, rule, context);
  if (!parts) {
    line.problem_found = LineProblem::missing_part;
    return;
  }
  line.command = prepare(*parts, context);
}

// Under /o, the command lines of the target that a second run would meet again, found before its
// lines are read.
void Editing::warn_unsettled() {
  std::vector<JobCommand> job;
  std::vector<CommandLine*> lines;
  for (CommandLine& line : lines_) {
    if (!line.command) continue;
    job.push_back({line.number, line.command.get()});
    lines.push_back(&line);
  }
  for (Unsettled& found : find_unsettled(job)) {
    lines[found.at]->warnings.push_back(std::move(found.message));
  }
}

// A .T under /o must know whether its line is there before the first line passes. The first
// lines of the file pass quietly through all the target's commands, each .T noting whether its
// line reaches it, until every answer agrees with what it met: a line added at the top by an
// earlier run is among the first lines, a line that is not there is taken to be absent without
// reading the file twice, and the rare line further down makes the file pass again (see
// carry_out). Lines only go on to later commands, so the answers settle in their order, and one
// look serves every .T of the job.
void Editing::look_ahead(const std::vector<Command*>& commands) {
  std::vector<TopLine*> tops;
  for (CommandLine& line : lines_) {
    if (line.top_line) tops.push_back(line.top_line.get());
  }
  if (tops.empty()) return;
  for (CommandLine& line : lines_) line.quiet = true;
  for (std::size_t round = 0; round <= tops.size(); ++round) {
    for (TopLine* top : tops) top->met.reset();
    Pipeline ahead(commands, [](const Line&) {});
    TargetReader reader(run_.disk, *target_, run_.settings.target);
    bool whole = true;  // every line read so far is among the first ones
    Line line;
    for (std::uint64_t read = 0; whole && reader.next(line); ++read) {
      whole = read < run_.settings.look_ahead_lines;
      if (whole) ahead.feed(line);
    }
    if (whole) ahead.end();
    bool settled = true;
    for (TopLine* top : tops) {
      settled = settled && top->present == top->met;
      top->present = top->met;
    }
    if (settled) break;
  }
  for (CommandLine& line : lines_) line.quiet = false;
}

// The pass of the file through all its command lines to its writer, which readies the new
// content; nothing when the file could not be read whole.
struct Editing::Carried {
  std::unique_ptr<TargetWriter> writer;
  LoadResult result = LoadResult::loaded;
  platform::Status reason;
};

Editing::Carried Editing::carry_out() {
  std::vector<Command*> commands;
  for (CommandLine& line : lines_) {
    line.passing = true;
    if (line.command) commands.push_back(line.command.get());
  }
  if (run_.settings.once) look_ahead(commands);
  const TargetOptions& options = run_.settings.target;
  // Each pass that meets a .T's line where it took it to be absent, or misses it where it took
  // it to be there, settles at least one more .T, in their order.
  for (std::size_t passes = 0;; ++passes) {
    for (CommandLine& line : lines_) {
      line.forget_pass();
      if (line.top_line) line.top_line->met.reset();
    }
    stored_.forget();
    auto writer = std::make_unique<TargetWriter>(run_.disk, *target_, options);
    TargetReader reader(run_.disk, *target_, options, false, writer->diff());
    bool shown = run_.settings.test_mode;
    Pipeline pipeline(commands, [&](const Line& line) {
      writer->put(line);
      if (shown) stored_.append_parts({line.text, "\n"});
    });
    // Where every command looks for one text anywhere in a line, the lines that cannot hold it
    // go from the reader to the writer as they are, a run at a time, and only the others are
    // cut and fed (a search over the reader's block rather than a look at every line). Test
    // mode shows every line, so it feeds them all.
    TargetReader::Sought sought{nullptr, 0};
    Line read;
    for (;;) {
      if (const Pattern* held = shown ? nullptr : pipeline.untouched_unless_holding()) {
        if (!sought.find) {
          sought = {[held](std::string_view text, std::size_t from) {
                      return find_pattern(text, *held, from);
                    },
                    held->text.size()};
        }
        if (std::string_view lines = reader.untouched_lines(sought); !lines.empty()) {
          writer->put_lines(lines);
          pipeline.passed_by();
          continue;
        }
      }
      if (!reader.next(read)) break;
      pipeline.feed(read);
    }
    if (reader.result() != LoadResult::loaded) {
      return Carried{nullptr, reader.result(), reader.reason()};
    }
    pipeline.end();
    bool settled = true;
    for (const CommandLine& line : lines_) {
      if (line.top_line && line.top_line->present != line.top_line->met) {
        line.top_line->present = line.top_line->met;
        settled = false;
      }
    }
    if (!settled && passes < commands.size()) continue;  // what the writer made is dropped
    bool guessed_wrong = writer->guessed_wrong(reader.form());
    target_->form = reader.form();
    if (guessed_wrong) continue;  // the next pass knows the break most lines have
    writer->prepare(pipeline.any_line());
    return Carried{std::move(writer), LoadResult::loaded, {}};
  }
}

Met Editing::say_not_loaded(LoadResult result, const platform::Status& reason) {
  if (result == LoadResult::loaded) {
    if (run_.settings.test_mode) run_.report.trace(kTraceLoaded);
    return {};
  }
  std::optional<std::string> why;
  if (!reason.done()) why = platform::describe(reason);
  run_.report.refused(platform::message_line(kNotLoaded[static_cast<int>(result)], target_->path),
                      why);
  explain(run_, target_->path, reason);
  loaded_ = false;
  return {.errors = true};
}

// The change as a diff, after a line saying what the diff cannot show plainly; only for a file
// that is written (or would be), so that the diff, applied, gives what the run writes.
void Editing::say_diff(const Target& target, WriteOutcome& outcome) {
  const DiffSummary& summary = outcome.diff_summary;
  if (!run_.settings.target.diff || !replaced(outcome.result)) return;
  const std::string& path = target.path;
  std::string notes;
  if (summary.form_changed)
    notes = platform::message_line(summary.lines_changed ? kFormToo : kOnlyForm, path);
  // UTF-16 and UTF-32 text says so wherever its change is not only its form: also where the old
  // lines cannot be shown at all.
  if (summary.as_text && (!outcome.diff.empty() || !summary.form_changed)) {
    notes.append(notes.empty() ? "" : "\n").append(platform::message_line(kAsText, path));
  }
  if (!notes.empty()) notes.push_back('\n');
  run_.report.diff(notes, outcome.diff);
}

// What happened to the file: an error, or none.
Met Editing::say_written(const Target& target, const WriteOutcome& outcome) {
  const Said& said = kWritten[static_cast<int>(outcome.result)];
  const std::string& path = target.path;
  const std::string& named = outcome.result == WriteResult::no_scratch ? outcome.reason_path : path;
  WriteNotice notice{replaced(outcome.result), outcome.backup_path, {}, said.error, std::nullopt};
  for (std::string_view line : {said.first, said.second}) {
    if (!line.empty()) notice.lines.push_back(platform::message_line(line, named));
  }
  if (said.error && !outcome.reason.done()) notice.reason = platform::describe(outcome.reason);
  run_.report.written(notice);
  if (said.error)
    explain(run_, outcome.reason_path.empty() ? path : outcome.reason_path, outcome.reason);
  return {.errors = said.error, .would_change = outcome.result == WriteResult::would_change};
}

// Where nothing is written, the file as it would be is kept for the next time it is named: what
// this write-back would have made, else what it was given, else the empty file .G would make.
void Editing::keep_shadow(platform::File would_be) {
  if (!run_.settings.target.no_write) return;
  if (would_be.is_open()) {
    files_.keep_shadow(key_, std::move(would_be));
  } else if (from_shadow_ && target_->original.is_open()) {
    files_.keep_shadow(key_, std::move(target_->original));
  } else if (target_->made && loaded_) {
    // .G would have made the file at once: it is there, empty, whatever its write-back met.
    platform::File made;
    if (run_.disk.open_scratch(made)) files_.keep_shadow(key_, std::move(made));
  }
}

Met Editing::write_back(std::optional<std::string_view> naming_line) {
  const RunSettings& settings = run_.settings;
  auto trace_naming = [&] {
    if (naming_line && settings.test_mode) {
      run_.report.trace(platform::formatted(kTraceOperation, *naming_line));
    }
  };
  Met met;
  if (!named_ || !loaded_) {
    trace_naming();
    if (named_) {
      files_.note(key_, target_->made, false);
      keep_shadow({});
    }
    return met;
  }
  // A file keeps the backup of its content from before the run: one named again, by any name,
  // gets none, nor does a file the run made.
  files_.note(key_, target_->made, false);
  target_->back_up = settings.target.backup && files_.may_back_up(key_);
  if (settings.once) warn_unsettled();
  Carried carried = carry_out();
  if (!carried.writer) {
    // The file could not be read whole: nothing of it is written, and the command lines say
    // what they say when their target does not load.
    met |= say_not_loaded(carried.result, carried.reason);
    for (CommandLine& line : lines_) {
      line.forget_pass();
      line.warnings.clear();
      if (line.problem_found != LineProblem::invalid_command) {
        line.problem_found = LineProblem::no_target_loaded;
      }
      met |= line.play_back(run_, target_->path);
    }
    trace_naming();
    keep_shadow({});
    return met;
  }
  for (CommandLine& line : lines_) met |= line.play_back(run_, target_->path);
  trace_naming();
  TargetWriter& writer = *carried.writer;
  // Test mode shows each line as it was stored, and waits after it, before the new content takes
  // the target's place: an interruption at any wait leaves the target as it was.
  if (settings.test_mode && !writer.refused()) {
    each_line(stored_, [this](std::string_view text) {
      run_.report.trace(platform::formatted(kTraceStored, text));
      run_.report.wait(Wait::key);
    });
  }
  stored_.forget();
  // Where the new content may wait to be made durable with that of the targets after it, what
  // is said from here on is kept until it has been put in place.
  if (most_waiting_ > 1) {
    if (platform::File* file = writer.waiting_file()) {
      target_->original = platform::File();  // only its lock is needed until then
      held_.hold();
      held_.mark(waiting_.size());
      waiting_.push_back({std::move(target_), std::move(carried.writer), key_, file, {}});
      target_ = std::make_unique<Target>();
      if (waiting_.size() - placed_ >= most_waiting_) make_durable();
      if (waiting_.size() >= kMostUnsaid) settle();
      return met;
    }
  }
  WriteOutcome outcome = writer.commit();
  note_written(*target_, key_, outcome);
  met |= say_results(*target_, outcome);
  keep_shadow(std::move(outcome.shadow));
  return met;
}

// What the run knows of a file written back follows it: the backup it was given (or, where
// nothing is written, the one a write-back would give it) is the only one it gets, and its new
// content is a new file.
void Editing::note_written(const Target& target, const std::string& key,
                           const WriteOutcome& outcome) {
  bool no_write = run_.settings.target.no_write;
  bool kept =
      !outcome.backup_path.empty() || (target.back_up && no_write && replaced(outcome.result));
  files_.note(key, false, kept);
  if (!no_write && replaced(outcome.result) && !key.empty()) {
    files_.moved(key, platform::identity_key(run_.disk, target.path));
  }
}

// What the write-back of a target came to, said.
Met Editing::say_results(const Target& target, WriteOutcome& outcome) {
  say_diff(target, outcome);
  Met met = say_written(target, outcome);
  if (replaced(outcome.result) && !run_.settings.target.keep_form &&
      (target.kind == EncodingKind::plain || target.kind == EncodingKind::utf8) &&
      target.form.tail_size > 1) {
    run_.report.told(target.path, std::to_string(target.form.tail_size - 1) +
                                      " bytes after the end mark dropped");
  }
  return met;
}

// The new content of every target waiting made durable together, then each put in place in its
// order; their folders are synced once, when what was said meanwhile is said. A sync that fails
// puts none of them in place.
void Editing::make_durable() {
  std::vector<platform::File*> files;
  for (std::size_t at = placed_; at < waiting_.size(); ++at) files.push_back(waiting_[at].file);
  if (files.empty()) return;
  platform::Status synced = run_.disk.sync_all(files);
  for (; placed_ < waiting_.size(); ++placed_) {
    Waiting& waiting = waiting_[placed_];
    if (synced) {
      waiting.outcome = waiting.writer->commit(true, false);
    } else {
      waiting.outcome.result = WriteResult::cannot_write;
      waiting.outcome.reason = synced;
    }
    waiting.writer.reset();  // a temporary file not put in place goes with it
    waiting.target->lock = platform::TargetLock();
    note_written(*waiting.target, waiting.key, waiting.outcome);
  }
}

// Every target written back is put in place, each folder made durable once, and what was said
// meanwhile is said, each target's results at its place.
void Editing::settle() {
  if (waiting_.empty()) return;
  make_durable();
  std::map<std::string, std::pair<std::string, platform::Status>> folders;  // a name in each
  for (const Waiting& waiting : waiting_) {
    const std::string& renamed = waiting.outcome.renamed;
    if (!renamed.empty())
      folders.try_emplace(platform::folder_of(renamed), renamed, platform::Status());
  }
  for (auto& [folder, synced] : folders) synced.second = run_.disk.sync_folder(synced.first);
  for (Waiting& waiting : waiting_) {
    WriteOutcome& outcome = waiting.outcome;
    if (outcome.renamed.empty()) continue;
    outcome.reason = folders[platform::folder_of(outcome.renamed)].second;
    if (!outcome.reason) outcome.result = WriteResult::not_durable;
  }
  held_.release([this](std::size_t at) {
    settled_ |= say_results(*waiting_[at].target, waiting_[at].outcome);
  });
  waiting_.clear();
  placed_ = 0;
}

Met Editing::name(std::string_view path_named, Naming naming, std::string_view line,
                  bool lf_alone) {
  EncodingKind previous = target_->kind;
  Met met = write_back(line);
  met.named = true;
  std::string path(path_named);
  run_.report.named(path, naming);
  // The file held before is closed before the next is opened.
  target_ = std::make_unique<Target>();
  lines_.clear();
  arguments_in_utf8_.clear();
  named_ = true;
  const TargetOptions& options = run_.settings.target;
  bool known = options.no_write || options.backup || most_waiting_ > 1;
  key_ = known ? platform::identity_key(run_.disk, path) : std::string();
  // A file whose new content waits is put in place before it is named again, and is known by
  // its new identity.
  auto same_file = [this](const Waiting& one) { return one.key == key_; };
  if (std::any_of(waiting_.begin() + static_cast<std::ptrdiff_t>(placed_), waiting_.end(),
                  same_file)) {
    make_durable();
    key_ = platform::identity_key(run_.disk, path);
  }
  platform::File shadow;
  if (options.no_write) shadow = files_.take_shadow(key_);
  from_shadow_ = shadow.is_open();
  // Before it waits for another run, this one says all it has to say.
  auto waiting = [this, &path] {
    settle();
    run_.report.waiting(path);
  };
  // A file that cannot be looked at takes the kind of the target before it.
  Opened opened =
      open_target(run_.disk, path, naming, previous, options, std::move(shadow), waiting);
  target_ = std::make_unique<Target>(std::move(opened.target));
  target_->made_with_lf = target_->made && lf_alone;
  loaded_ = opened.result == LoadResult::loaded;
  if (opened.result != LoadResult::cannot_open) run_.report.kind(target_->kind);
  // A file .G has just made is known by its own identity from now on.
  if (known && !options.no_write && target_->made) key_ = platform::identity_key(run_.disk, path);
  if (loaded_ && run_.settings.test_mode) {
    // Test mode reads the file through now, so that a refusal shows at once.
    TargetReader reader(run_.disk, *target_, options);
    target_->form = reader.read_through();
    opened.result = reader.result();
    opened.reason = reader.reason();
  }
  met |= say_not_loaded(opened.result, opened.reason);
  return met |= std::exchange(settled_, {});
}

Met Editing::finish() {
  Met met = write_back({});
  settle();
  return met |= std::exchange(settled_, {});
}

}  // namespace zeltrim
