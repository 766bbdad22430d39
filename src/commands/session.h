// Inside the commands room: one run of an instruction file — the current target, what the run
// has met so far, and the messages about targets, all printed here from what the target room
// reports.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "commands/command_kit.h"
#include "commands/interpreter.h"
#include "target/target_file.h"

namespace zeltrim {

struct Run {
  explicit Run(const RunSettings& run_settings) : settings(run_settings) {}

  const RunSettings& settings;
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

// .F and .G: writes the current target back and names the next.
void name_target(Run& run, std::string_view path, Naming naming);

// Carries out one command over the current target's lines, held whole.
void apply(Command& command, Target& target);

// The system's reason for a failure, on standard error: "zeltrim: PATH: reason".
void explain(const std::string& path, const platform::Status& reason);

}  // namespace zeltrim
