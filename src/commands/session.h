// Inside the commands room: one run of an instruction file — the current target, what the run
// has met so far, and the messages about targets, all printed here from what the target room
// reports.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "commands/command_kit.h"
#include "commands/interpreter.h"
#include "target/target_file.h"

namespace zeltrim {

// A command line of a target that is streamed: carried out as the file passes by, its messages
// held until the file has passed.
struct Entry {
  explicit Entry(platform::SpoolBudget* budget) : messages(budget) {}

  platform::Spool messages;   // what the line said, held for its turn
  std::string if_not_loaded;  // what it says instead when the target turns out not to load
  std::unique_ptr<Command> command;
  Prepare prepare = nullptr;  // how to make a copy of the command to look ahead with
  std::string_view argument;
};

struct Run {
  explicit Run(const RunSettings& run_settings)
      : settings(run_settings), streaming(!run_settings.test_mode && !run_settings.walk) {}

  // A message of the dispatcher: held with its command line where the target is streamed.
  void say(std::string_view format, long long number);
  bool holding() const { return streaming && target.loaded(); }

  const RunSettings& settings;
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
  std::string target_key;
  bool target_from_would_be = false;
};

// Writes the current target back, if one was named, and says what happened.
void write_back(Run& run);

// Streams the current target through its commands to its writer; false (and said) when the
// file could not be read whole.
bool stream(Run& run, WriteOutcome& outcome);

// .F and .G: writes the current target back and names the next.
void name_target(Run& run, std::string_view argument, Naming naming);

// Carries out one command over the current target's lines, held whole.
void apply(Command& command, Target& target);

// The system's reason for a failure, on standard error: "zeltrim: PATH: reason".
void explain(const std::string& path, const platform::Status& reason);

}  // namespace zeltrim
