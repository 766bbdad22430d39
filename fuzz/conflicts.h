// Which commands of a job may meet on a second run what others of it made on the first, read
// from the job's lines alone: shapes of jobs that /o cannot settle although the program warns
// of none of them. Harness code only; each test must hold of every job that may be so, so where
// it is unsure it says yes.
#pragma once

#include <vector>

#include "job_text.h"

namespace zeltrim::fuzz {

// A command that looks for lines (.R, .A, .S, .C, .E, .U, .V) followed, on the same file, by
// one that may change a line into what the first looks for (.S, .C, .E, .U, .V).
bool looks_for_what_a_later_command_makes(const std::vector<JobCommand>& commands);

// On a file named more than once: a line one naming adds that a command of another naming
// changes or looks for (an .R, .A or .S of it). The warnings of /o look within one naming only.
bool conflicts_across_namings(const std::vector<JobCommand>& commands);

}  // namespace zeltrim::fuzz
