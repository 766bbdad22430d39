// Whole runs: what the whole-run harnesses check of each job they make. The input is an
// instruction file, then optionally kTargetSeparator and a first target, then kTargetSeparator
// and a second target. The targets are stored under the first two names that
// .F or .G lines give, the instruction file is carried out in a private folder, and then:
// - nothing crashed and the run ended (libFuzzer's -timeout catches a run that does not);
// - a file that no .F or .G named is unchanged, and no temporary file is left;
// - every file that changed is empty (.G) or in the program's written form, and reloads to
//   itself (write, load, write is a fixed point) apart from the rules kept on purpose that
//   check_written_form accounts for.
// The last byte of the input chooses the options, one bit each. The file is run twice, all
// commands in one pass and each command in a pass of its own, and both must leave the same
// files and report; a second run of a job that only adds changes nothing under /o; with /k or /u
// every changed file reads back to itself in its own form; with /d the diffs, applied as patch
// would to the files as they were, give what the run writes.
#pragma once

#include <string_view>

namespace zeltrim::fuzz {

// The separator between the instruction file and each target in an input.
inline constexpr std::string_view kTargetSeparator("\0ZT\0", 4);

// How the commands of a job are kept small: each one that could make the target grow past a
// bound in the worst case it allows is ignored, or the job was made so that none can.
enum class Budget : unsigned char { worst_case, none };

// Carries out the input and checks every promise above; fails the run where one is broken.
void check_whole_run(std::string_view input, Budget budget = Budget::worst_case);

}  // namespace zeltrim::fuzz
