// Carrying a target's commands out: all of them in one pass as the file is written back, or
// each in a pass of its own when it is dispatched (test mode), from the records the content is
// kept in between.
#pragma once

#include <optional>

#include "commands/session.h"

namespace zeltrim {

// Reads the target's present content into the records the first pass starts from; what
// reading met.
LoadResult read_into_content(Run& run, platform::Status& reason);

// The one pass: the file through all its held command lines to its writer. Nothing when the file
// could not be read whole (which is said).
std::optional<WriteOutcome> carry_out_held(Run& run, const TargetOptions& options);

// The content the passes left, written back; test mode shows each line as it is stored.
std::optional<WriteOutcome> write_passes_back(Run& run, const TargetOptions& options);

// Says what naming or reading the target met; one that failed is no longer loaded.
void say_not_loaded(Run& run, LoadResult result, const platform::Status& reason);

}  // namespace zeltrim
