// What a run may change in its folder, judged from the names and bytes before and after it:
// nothing under /n; else only the files the job names, and under /b the NAME.bak (or the name
// with the suffix in force) of a named file that existed before the run, which must then hold
// what that file held before the run.
// Harness code only; it must accept nothing the README's promises forbid.
#pragma once

#include <set>
#include <string>

#include "fuzz_kit.h"
#include "textfile/target_file.h"

namespace zeltrim::fuzz {

// The name /b keeps a file's old content under: the file's name and the suffix in force.
std::string backup_name(const std::string& path, const TargetOptions& options);

// Whether `path` is the backup name of a file the job names, named itself or not.
bool is_backup_name_of_named(const std::string& path, const std::set<std::string>& named,
                             const TargetOptions& options);

// Whether `path` is the backup of a file the job names (and not named itself).
bool is_backup_of_named(const std::string& path, const std::set<std::string>& named,
                        const TargetOptions& options);

// Fails the run where the folder after it breaks a promise of the options (those of /b only
// where `backups_checked`).
void check_folder(const Files& before, const Files& after, const std::set<std::string>& named,
                  const TargetOptions& options, bool backups_checked = true);

}  // namespace zeltrim::fuzz
