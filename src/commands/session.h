// Inside the commands room: one run of an instruction file — the current target, what the run
// has met so far, and the messages about targets, all printed here from what the target room
// reports.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "commands/command_kit.h"
#include "commands/interpreter.h"
#include "target/target_file.h"

namespace zeltrim {

// The problems of an instruction line that the dispatcher finds.
enum class LineProblem : unsigned char {
  invalid_command,   // no command letter this program knows
  missing_part,      // a two-part command without both parts
  no_target_loaded,  // a command while no target is loaded
};

// A command line of a target that is streamed: carried out as the file passes by, what it says
// held until the file has passed.
struct Entry {
  Entry(platform::SpoolBudget* budget, long long line) : words(budget), number(line) {}

  HeldWords words;  // what the line said, held for its turn
  long long number;
  // What it says instead when the target turns out not to load.
  std::optional<LineProblem> if_not_loaded;
  std::unique_ptr<Command> command;
  Prepare prepare = nullptr;  // how to make a copy of the command to look ahead with
  std::string_view argument;
};

struct Run {
  Run(const RunSettings& run_settings, std::string_view job_path)
      : settings(run_settings),
        job(job_path),
        streaming(!run_settings.test_mode && !run_settings.walk) {}

  bool holding() const { return streaming && target.loaded(); }
  JobLine line(long long number) const { return {job, number}; }

  const RunSettings& settings;
  std::string_view job;  // the instruction file, as the command line names it
  // Outside test mode a target is streamed: its commands are carried out line by line as the
  // file passes, at write-back; test mode holds the lines whole and walks them command by
  // command, to trace each step.
  bool streaming;
  std::deque<Entry> entries;  // the current target's command lines, where it is streamed
  // What the held messages of all command lines may take of memory before they go to files.
  static constexpr std::size_t kHeldMessagesInMemory = 1 << 20;
  platform::SpoolBudget held_messages{kHeldMessagesInMemory, 0, {}};
  bool command_problems = false;
  Target target;  // its path is empty until the first .F or .G
  bool named_a_target = false;
  bool errors = false;
  bool would_change = false;  // where nothing is written: a file would have changed
  // Where nothing is written: what the run would have written so far to each file, by the
  // file's identity, so that a file named again is edited as it would then be.
  std::map<std::string, platform::File> would_be;
  std::string target_key;  // the current target's identity, where it matters
  bool target_from_would_be = false;
  // The files whose content from before the run is kept (or never was: the run made them), by
  // identity: a backup is not made again.
  std::set<std::string> backed_up;
};

// Writes the current target back, if one was named, and says what happened.
void write_back(Run& run);

// Streams the current target through its commands to its writer; false (and said) when the
// file could not be read whole.
bool stream(Run& run, const TargetOptions& options, WriteOutcome& outcome);

// .F and .G: writes the current target back and names the next.
void name_target(Run& run, std::string_view argument, Naming naming);

// Carries out one command over the current target's lines, held whole.
void apply(Command& command, Target& target);

// The system's reason for a failure, on standard error: "zeltrim: PATH: reason".
void explain(const std::string& path, const platform::Status& reason);

// Says a problem of instruction line `number`: on standard output as always (a missing target
// only in a strict run), where the line's words are held with them, and on standard error.
void say_problem(Run& run, LineProblem problem, long long number, HeldWords* held = nullptr);

}  // namespace zeltrim
