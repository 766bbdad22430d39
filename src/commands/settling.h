// Under /o, the lines of a target's job that a second run of the same job would meet again, found
// from the job's lines alone, before the target is read: a line added that another command then
// changes is added anew every time, and a line looked for that a later command adds is found
// only by the next run. It says which lines; it changes nothing.
#pragma once

#include <string>
#include <vector>

#include "commands/command_kit.h"

namespace zeltrim {

// A command line of a target's job.
struct JobCommand {
  long long number;  // in the instruction file
  const Command* command;
};

// A line that cannot settle, and why, as its warning says it.
struct Unsettled {
  std::size_t at;  // in the job's command lines
  std::string message;
};

// The command lines of one target that /o cannot settle, in their order; each named once, with
// the first line it conflicts with.
std::vector<Unsettled> find_unsettled(const std::vector<JobCommand>& job);

}  // namespace zeltrim
