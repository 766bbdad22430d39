// Whole runs: what the harnesses check of every job they make. A job is an instruction file,
// the other files of the folder it runs in, and the options. It is carried out in a private
// folder, the folder's names and bytes taken before and after, and then:
// - nothing crashed and the run ended (libFuzzer's -timeout catches a run that does not);
// - no file vanished and no temporary file is left; under /n no file changed at all; else only
//   the files the job names changed, and a backup beside one only under /b, only for a file
//   that existed before the run, and only to hold what that file held before the run; a file
//   replaced under /b has that backup (folder_rules.h);
// - every file that changed is empty (.G) or in the program's written form, and reloads to
//   itself (write, load, write is a fixed point) apart from the rules kept on purpose that
//   check_written_form accounts for; with /k or /u it reads back to itself in its own form;
// - with /d the diffs, applied as patch would to the files as they were, give what the run
//   writes (or, under /n, would write);
// - .C and .E put their addition where the value takes it, a UTF-8 file stays UTF-8 and bytes
//   that change meaning are warned of (text_rules.h);
// - under /o a second run changes nothing, unless the first warned that /o cannot settle a line
//   or the job has a shape README lists; and where no target holds a line or item of the job
//   and the job repeats none, the run writes what the run without /o writes (settling.h).
// Now and then the job is also run in test mode, which must leave the same files.
#pragma once

#include <string>
#include <string_view>

#include "fuzz_kit.h"
#include "run/run.h"

namespace zeltrim::fuzz {

struct Job {
  std::string instructions;  // the instruction file's bytes
  Files files;               // the other files of the folder before the run
  RunSettings settings;
};

// The options, one bit each of `bits`: /o, /k, /u, /d, /n, /b, /s from the lowest, and the
// highest makes a line added at the top look only one line ahead under /o.
RunSettings settings_from(unsigned char bits);

// Carries out the job and checks every promise above; fails the run where one is broken.
void check_job(const Job& job);

// The input of the whole-run harness: an instruction file, then optionally kTargetSeparator and
// a first target, then kTargetSeparator and a second target. The targets are stored under the
// first two names that .F or .G lines give; the last byte of the input chooses the options, one
// bit each, and the byte before it which NAME.bak files exist before the run.
inline constexpr std::string_view kTargetSeparator("\0ZT\0", 4);

// How the commands of a job are kept small: each one that could make the target grow past a
// bound in the worst case it allows is ignored, or the job was made so that none can.
enum class Budget : unsigned char { worst_case, none };

// Makes the job the input describes and checks it.
void check_whole_run(std::string_view input, Budget budget = Budget::worst_case);

}  // namespace zeltrim::fuzz
