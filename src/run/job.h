// Carrying out an instruction file: it is read whole, looked at first where the run is strict,
// and each dot-command is handed to its handler through one table, target after target. Every
// message goes to the report the run is handed; the disk is reached only through its Disk.
#pragma once

#include <string>

#include "run/run.h"

namespace zeltrim {

enum class RunOutcome {
  completed,              // every target loaded and written back
  would_change,           // nothing was written, and at least one file would have changed
  completed_with_errors,  // a target could not be loaded or written back, or (strict) the
                          // instruction file had a problem
  instructions_unusable,  // the instruction file could not be read: nothing was done
};

// `path` "-" is standard input. `command_line_problems`: the command line had a problem that a
// strict run counts: then it carries out nothing.
RunOutcome run_job(const std::string& path, const RunSettings& settings, platform::Disk& disk,
                   platform::Console& console, Report& report, bool command_line_problems = false);

// The same with the system's console and its report, as the program's harnesses run it.
RunOutcome run_instruction_file(const std::string& path, const RunSettings& settings,
                                platform::Disk& disk);

// The instruction file a command line names as "-".
inline constexpr std::string_view kStandardInput = "-";

}  // namespace zeltrim
