// The instruction interpreter: reads an instruction file line by line, keeps track of the
// current target, and hands each dot-command to its handler. Commands change the target's
// lines and report every change; the disk is reached only through the Disk the run is given.
#pragma once

#include <string>

#include "commands/json_report.h"
#include "commands/run_settings.h"
#include "platform/files.h"

namespace zeltrim {

enum class RunOutcome {
  completed,              // every target loaded and written back
  would_change,           // nothing was written, and at least one file would have changed
  completed_with_errors,  // a target could not be loaded or written back, or (strict) the
                          // instruction file had a problem
  instructions_unusable,  // the instruction file could not be read: nothing was done
};

// `command_line_problems`: the command line had a problem that a strict run counts: then it
// carries out nothing. `path` "-" is standard input. With `json`, the run's messages go to that
// report instead of standard output.
RunOutcome run_instruction_file(const std::string& path, const RunSettings& settings,
                                platform::Disk& disk, bool command_line_problems = false,
                                JsonReport* json = nullptr);

}  // namespace zeltrim
