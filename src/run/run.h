// One run of an instruction file: what the command line asked of it, what it is handed to work
// with (the disk, the console, the report chosen once), and what it has met so far, returned by
// each step it takes. The steps that say a problem or a warning are written once, here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/console.h"
#include "platform/files.h"
#include "run/report.h"
#include "textfile/target_file.h"

namespace zeltrim {

// What the command line asked of the run.
struct RunSettings {
  bool test_mode = false;  // trace every step and wait for the user after it
  bool strict = false;     // a problem in the instruction file is an error of the run
  bool once = false;       // an addition already there is not made again
  bool json = false;       // the report is one JSON document on standard output
  bool quiet = false;      // standard output says only what went wrong, and previews and diffs
  // Where additions are made once: how many lines a line added at the top looks at before the
  // file passes.
  std::uint64_t look_ahead_lines = 4096;
  TargetOptions target;  // what every target is asked
};

// What the run is handed, for all of its steps.
struct Run {
  const RunSettings& settings;
  std::string_view job;  // the instruction file, as the command line names it
  platform::Disk& disk;
  platform::Console& console;
  Report& report;
  // The instruction file was UTF-16 text, read one code unit per byte: its texts are characters,
  // which a UTF-8 target takes as their UTF-8 bytes.
  bool job_in_utf16 = false;
};

// What the steps of a run have met, gathered as they return it.
struct Met {
  bool named = false;         // a target was named
  bool errors = false;        // a target could not be loaded or written back
  bool would_change = false;  // where nothing is written: a file would have changed
  bool problems = false;      // a problem of the instruction file; an error of a strict run

  Met& operator|=(const Met& other) {
    named = named || other.named;
    errors = errors || other.errors;
    would_change = would_change || other.would_change;
    problems = problems || other.problems;
    return *this;
  }
};

// The problems of an instruction line that the dispatcher finds.
enum class LineProblem : unsigned char {
  invalid_command,   // no command letter this program knows
  missing_part,      // a two-part command without both parts
  no_target_loaded,  // a command while no target is loaded
};

// Test mode's trace of every command line, before and after it is carried out.
inline constexpr std::string_view kTraceOperation = "TEST MODE: operation is %s\n\n";
inline constexpr std::string_view kTraceEnd =
    "TEST MODE: end of %s operation\n\nTEST MODE: Press ENTER to continue...\n\n";

// What standard error names an instruction line by: "JOB.ZT:LINE".
std::string job_line(std::string_view job, long long number);

// Says a problem of instruction line `number` among the lines of `target` (none before the first
// target): on standard output as always (a missing target only in a strict run), in the report,
// and on standard error.
Met say_problem(const Run& run, LineProblem problem, long long number,
                std::optional<std::string_view> target);

// Says what a command line met while the lines passed, or a warning about it: in the report and
// on standard error.
Met say_line_problem(const Run& run, const Notice& problem);
void say_warning(const Run& run, const Notice& warning);

// The system's reason for a failure, on standard error: "zeltrim: PATH: reason".
void explain(const Run& run, std::string_view path, const platform::Status& reason);

}  // namespace zeltrim
