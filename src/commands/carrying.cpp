#include "commands/carrying.h"

#include <algorithm>
#include <array>

#include "commands/handlers.h"
#include "commands/pipeline.h"
#include "platform/console.h"
#include "textfile/encoding.h"

namespace zeltrim {

namespace {
constexpr std::string_view kTraceStored = "TEST MODE: stored: %s\n";
constexpr std::string_view kNoScratch = "TEST MODE: no scratch file can be made in %s\n";

// The records the passes keep the content in could not be made or written: the target cannot
// be carried on.
void lose_content(Run& run, const platform::Status& reason) {
  std::string folder = platform::scratch_folder();
  platform::say(kNoScratch, folder);
  explain(folder, reason);
  run.tally.errors = true;
  run.current.loaded = false;
}

// A pass of one command over the content, into new records.
void pass(Run& run, Command& command) {
  Current& current = run.current;
  RecordWriter out(run.disk);
  if (platform::Status made = out.open(); !made) return lose_content(run, made);
  RecordReader in(run.disk, current.content);
  Pipeline pipeline({&command}, [&out](const Line& line) { out.put(line); });
  for (Line line; in.next(line);) pipeline.feed(line);
  if (!in.status()) return lose_content(run, in.status());
  pipeline.end();
  current.held_lines = current.held_lines || pipeline.held_lines();
  if (platform::Status written = out.finish(current.content); !written) lose_content(run, written);
}

// In passes the content is whole before a .T's pass: whether its line is there is read from it.
std::optional<std::string> find_in_content(Run& run, std::string_view text) {
  RecordReader in(run.disk, run.current.content);
  for (Line line; in.next(line);) {
    if (is_already_there(text, line)) return std::string(line.text);
  }
  return std::nullopt;
}

std::vector<Command*> held_commands(Run& run) {
  std::vector<Command*> commands;
  for (HeldLine& held : run.current.held) {
    if (held.command) commands.push_back(held.command.get());
  }
  return commands;
}

void set_quiet(Run& run, bool quiet) {
  for (HeldLine& held : run.current.held) held.voice.quiet = quiet;
}

// In one pass a .T under /o must know whether its line is there before the first line passes.
// The first lines of the file pass quietly through all the target's commands, each .T noting
// whether its line reaches it, until every answer agrees with what it met: a line added at the
// top by an earlier run is among the first lines, a line that is not there is taken to be absent
// without reading the file twice, and the rare line further down makes the file pass again (see
// carry_out_held). Lines only go on to later commands, so the answers settle in their order, and
// one look serves every .T of the job.
void look_ahead(Run& run, const std::vector<Command*>& commands) {
  std::vector<TopLine*> tops;
  for (HeldLine& held : run.current.held) {
    if (held.top_line) tops.push_back(held.top_line.get());
  }
  if (tops.empty()) return;
  set_quiet(run, true);
  for (std::size_t round = 0; round <= tops.size(); ++round) {
    for (TopLine* top : tops) top->met.reset();
    Pipeline ahead(commands, [](const Line&) {});
    TargetReader reader(run.disk, run.current.target, run.settings.target);
    bool whole = true;  // every line read so far is among the first ones
    Line line;
    for (std::uint64_t read = 0; whole && reader.next(line); ++read) {
      whole = read < run.settings.look_ahead_lines;
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
  set_quiet(run, false);
}

// Prints what each held command line said, in order: what it met when it was dispatched, then
// what the pass made it say. In JSON mode its report lines become the target's changes, and its
// problems the report's.
void print_held(Run& run) {
  for (HeldLine& held : run.current.held) {
    if (held.problem) say_problem(run, *held.problem, held.number);
    if (run.json != nullptr) {
      std::string said;
      held.words.drain([&said](std::string_view piece) { said.append(piece); });
      // A report line never holds a line break but its last: no text does.
      for (std::size_t at = 0, end; (end = said.find('\n', at)) != std::string::npos;
           at = end + 1) {
        run.json->add_change(held.number, held.letter, std::string_view(said).substr(at, end - at));
      }
      std::size_t prefix = told_problem({run.job, held.number}, "").size();
      for (const std::string& told : held.words.told()) {
        run.json->problems.push_back({held.number, told.substr(prefix), run.current.target.path});
      }
    }
    held.words.print();  // in JSON mode what is left: the problems, on standard error
    for (const std::string& warning : held.warnings) say_warning(run, held.number, warning);
  }
}

// A byte above 0x7F in a command's texts, where it becomes a character of another meaning.
bool holds_high_bytes(std::string_view text) {
  return std::ranges::any_of(text, [](char byte) { return (byte & 0x80) != 0; });
}

// What a command's argument is to the target: an instruction file in UTF-16 holds characters,
// which a UTF-8 target takes as their UTF-8 bytes; anywhere else bytes are bytes, and a UTF-16
// or UTF-32 target takes each as one character, which is said.
std::string_view argument_for_target(Run& run, std::string_view argument, long long number,
                                     std::vector<std::string>* warnings) {
  const Target& target = run.current.target;
  if (run.settings.target.unicode || !holds_high_bytes(argument)) return argument;
  if (run.job_in_utf16) {
    if (target.kind != EncodingKind::utf8) return argument;
    std::string& in_utf8 = run.arguments_in_utf8.emplace_back();
    for (char byte : argument) {
      std::array<char, 2> bytes{};
      char* end = bytes.data();
      put_utf8(static_cast<unsigned char>(byte), end);
      in_utf8.append(bytes.data(), end);
    }
    return in_utf8;
  }
  if (unit_size(target.kind) > 1) {
    std::string warning = "bytes above 0x7F go into " + target.path +
                          " as one character each; /u reads the line as UTF-8";
    if (warnings == nullptr) {
      say_warning(run, number, warning);
    } else {
      warnings->push_back(std::move(warning));
    }
  }
  return argument;
}
}  // namespace

void take_invalid(Run& run, long long number) {
  if (run.settings.passes()) return say_problem(run, LineProblem::invalid_command, number);
  run.current.held.emplace_back(&run.held_words, number, '\0').problem =
      LineProblem::invalid_command;
}

void take_command(Run& run, char letter, Prepare prepare, bool top, std::string_view argument,
                  long long number) {
  Current& current = run.current;
  bool passes = run.settings.passes();
  // In passes the line is kept too, but only for what the whole job says of it (under /o).
  HeldLine* kept = &current.held.emplace_back(&run.held_words, number, letter);
  HeldLine* held = passes ? nullptr : kept;
  argument = argument_for_target(run, argument, number, held ? &held->warnings : nullptr);
  std::unique_ptr<TopLine> top_line;
  if (top && run.settings.once) {
    top_line = std::make_unique<TopLine>();
    // In one pass the answer is found once every command of the target is known.
    if (passes) top_line->present = find_in_content(run, argument);
  }
  CommandContext context{run.settings,
                         &run.tally.problems,
                         JobLine{run.job, number},
                         held != nullptr ? &held->voice : &run.direct,
                         top_line.get(),
                         current.target.path};
  std::unique_ptr<Command> command = prepare(argument, context);
  if (command == nullptr) {
    if (held == nullptr) return say_problem(run, LineProblem::missing_part, number);
    held->problem = LineProblem::missing_part;
    return;
  }
  if (held == nullptr) pass(run, *command);
  kept->command = std::move(command);
  kept->top_line = std::move(top_line);
}

LoadResult read_into_content(Run& run, platform::Status& reason) {
  Current& current = run.current;
  RecordWriter out(run.disk);
  if (platform::Status made = out.open(); !made) {
    lose_content(run, made);
    return LoadResult::loaded;
  }
  TargetReader reader(run.disk, current.target, run.settings.target);
  for (Line line; reader.next(line); current.held_lines = true) out.put(line);
  current.target.form = reader.form();
  reason = reader.reason();
  if (platform::Status written = out.finish(current.content); !written) lose_content(run, written);
  return reader.result();
}

std::optional<WriteOutcome> carry_out_held(Run& run, const TargetOptions& options) {
  Current& current = run.current;
  std::vector<Command*> commands = held_commands(run);
  if (run.settings.once) look_ahead(run, commands);
  // Each pass that meets a .T's line where it took it to be absent, or misses it where it took
  // it to be there, settles at least one more .T, in their order.
  for (std::size_t passes = 0;; ++passes) {
    for (HeldLine& held : current.held) {
      held.words.forget();
      if (held.top_line) held.top_line->met.reset();
    }
    TargetWriter writer(run.disk, current.target, options);
    TargetReader reader(run.disk, current.target, options, false, writer.diff());
    Pipeline pipeline(commands, [&writer](const Line& line) { writer.put(line); });
    for (Line line; reader.next(line);) pipeline.feed(line);
    if (reader.result() != LoadResult::loaded) {
      // The file could not be read whole: nothing of it is written, and the command lines say
      // what they say when their target does not load.
      say_not_loaded(run, reader.result(), reader.reason());
      for (const HeldLine& held : current.held) {
        bool invalid = held.problem == LineProblem::invalid_command;
        say_problem(run, invalid ? *held.problem : LineProblem::no_target_loaded, held.number);
      }
      return std::nullopt;
    }
    pipeline.end();
    bool settled = true;
    for (const HeldLine& held : current.held) {
      if (held.top_line && held.top_line->present != held.top_line->met) {
        held.top_line->present = held.top_line->met;
        settled = false;
      }
    }
    if (!settled && passes < commands.size()) continue;  // what the writer made is dropped
    bool guessed_wrong = writer.guessed_wrong(reader.form());
    current.target.form = reader.form();
    if (guessed_wrong) continue;  // the next pass knows the break most lines have
    WriteOutcome outcome = writer.finish(pipeline.held_lines());
    print_held(run);
    return outcome;
  }
}

std::optional<WriteOutcome> write_passes_back(Run& run, const TargetOptions& options) {
  Current& current = run.current;
  // The content through a writer, or (none) only shown; test mode shows each line as it is
  // stored, and waits after it.
  auto write = [&](TargetWriter* writer, bool shown) {
    RecordReader in(run.disk, current.content);
    for (Line line; in.next(line);) {
      if (writer != nullptr) writer->put(line);
      if (!shown) continue;
      platform::say(kTraceStored, line.text);
      platform::wait_for_key();
    }
    WriteOutcome outcome;
    if (writer != nullptr && in.status()) return writer->finish(current.held_lines);
    outcome.result = WriteResult::cannot_write;  // the writer lets go of what it made
    outcome.reason = in.status();
    return outcome;
  };
  // The writer holds on to its options: they outlive it. Test mode first writes nowhere, only
  // to find out what would happen.
  TargetOptions first = options;
  first.no_write = options.no_write || run.settings.test_mode;
  TargetWriter writer(run.disk, current.target, first);
  WriteOutcome outcome = write(&writer, false);
  if (!run.settings.test_mode) return outcome;
  // Test mode found out first whether the file changes, so that a file that cannot be written
  // is said before any line is shown, and an unchanged one is only shown.
  bool changes = outcome.result == WriteResult::would_change;
  if (!changes && outcome.result != WriteResult::unchanged) return outcome;
  if (!changes || options.no_write) {
    write(nullptr, true);
    return outcome;
  }
  TargetOptions writing = options;
  writing.diff = false;  // the first write-back made it
  TargetWriter shown(run.disk, current.target, writing);
  // A write-back that shows its lines is known to change the file: it is written as it goes.
  WriteOutcome written = shown.start() ? write(&shown, true) : shown.finish(current.held_lines);
  written.diff = std::move(outcome.diff);
  written.diff_summary = outcome.diff_summary;
  return written;
}

}  // namespace zeltrim
