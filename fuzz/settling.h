// What /o promises of a job, read from the job's lines and the files before the run: whether it
// is one of the shapes that /o cannot settle (which README lists), and whether its first run
// must write what the same run without /o writes. Harness code only; each answer must hold for
// every job it admits, so where it is unsure it admits none.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "job_text.h"

namespace zeltrim::fuzz {

// The first shape /o cannot settle that the job has, in README's words, or none.
std::optional<std::string_view> unsettled_shape(const std::vector<JobCommand>& commands);

// Whether no target holds a line or a list item of the job and the job repeats none, so that
// /o finds nothing present and adds all that the run without /o adds. `lines` are the lines of
// every file of the folder as the run loads them, folded (job_text.h).
bool finds_nothing_present(const std::vector<JobCommand>& commands,
                           const std::vector<std::string>& lines);

}  // namespace zeltrim::fuzz
