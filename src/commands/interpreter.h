// The instruction interpreter: reads an instruction file line by line, keeps track of the
// current target, and hands each dot-command to its handler. Commands change the target's
// lines and report every change; the disk is reached only through the target room.
#pragma once

#include <cstdint>
#include <string>

#include "target/target_file.h"

namespace zeltrim {

// What the command line asked of the run.
struct RunSettings {
  bool test_mode = false;  // trace every step and wait for the user after it
  bool strict = false;     // a problem in the instruction file is an error of the run
  bool once = false;       // an addition already there is not made again
  // Every line of a target is held whole and each command walks them all before the next
  // begins, as test mode needs to show each step; otherwise the file streams through all the
  // commands at once. Both give the same result, byte for byte.
  bool walk = false;
  // Where additions are made once and the file streams: how many of its lines a line added at
  // the top looks at before the file passes.
  std::uint64_t look_ahead_lines = 4096;
  TargetOptions target;  // what every target is asked
};

enum class RunOutcome {
  completed,              // every target loaded and written back
  would_change,           // nothing was written, and at least one file would have changed
  completed_with_errors,  // a target could not be loaded or written back, or (strict) the
                          // instruction file had a problem
  instructions_unusable,  // the instruction file could not be read: nothing was done
};

// `command_line_problems`: the command line had a problem that a strict run counts: then it
// carries out nothing.
RunOutcome run_instruction_file(const std::string& path, const RunSettings& settings,
                                bool command_line_problems = false);

}  // namespace zeltrim
