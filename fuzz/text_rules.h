// What a run must do to the texts of its targets, judged from the job and the folder before and
// after it: .C and .E put their addition where the value takes it (inside the quotes of a quoted
// value, but not in a .BAT or .CMD file), under /o only what the value lacks; a UTF-8 file stays
// UTF-8 when the job's texts are
// characters; bytes above 0x7F that go into a UTF-16 or UTF-32 file one by one are warned of.
// Harness code only; each check looks only at the jobs whose outcome it can foresee exactly.
#pragma once

#include <string_view>
#include <vector>

#include "fuzz_kit.h"
#include "job_text.h"
#include "run/run.h"
#include "textfile/target_file.h"

namespace zeltrim::fuzz {

// The job as the checks read it: its bytes, its text as the program reads it, its commands.
struct ReadJob {
  std::string_view bytes;
  std::string text;
  std::vector<JobCommand> commands;
  std::vector<Naming> namings;
};

// For a job of .C and .E alone, run without errors: every line of every target reads
// afterwards as the rule of .C and .E makes it, and under /o (`once`) as their rule of items.
void check_concat_lines(const ReadJob& job, const Files& before, const Files& after,
                        const TargetOptions& options, bool once);

// A file with the UTF-8 mark that held UTF-8 text still does, when the job's texts are
// characters (UTF-16, or UTF-8 text).
void check_utf8_kept(const ReadJob& job, const Files& before, const Files& after);

// Standard error warns once of each command line, read as bytes without /u, whose bytes above
// 0x7F go into a UTF-16 or UTF-32 target one character each, and of no other line.
void check_byte_warnings(const ReadJob& job, const Files& before, const RunSettings& settings,
                         std::string_view errors);

}  // namespace zeltrim::fuzz
