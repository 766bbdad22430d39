#include "folder_rules.h"

namespace zeltrim::fuzz {

std::string backup_name(const std::string& path, const TargetOptions& options) {
  return path + options.backup_suffix;
}

bool is_backup_name_of_named(const std::string& path, const std::set<std::string>& named,
                             const TargetOptions& options) {
  const std::string& suffix = options.backup_suffix;
  return path.ends_with(suffix) && named.contains(path.substr(0, path.size() - suffix.size()));
}

bool is_backup_of_named(const std::string& path, const std::set<std::string>& named,
                        const TargetOptions& options) {
  return !named.contains(path) && is_backup_name_of_named(path, named, options);
}

void check_folder(const Files& before, const Files& after, const std::set<std::string>& named,
                  const TargetOptions& options, bool backups_checked) {
  for (const auto& [path, bytes] : before) {
    if (!after.contains(path)) fail("a file vanished", path);
  }
  for (const auto& [path, bytes] : after) {
    auto old = before.find(path);
    if (old != before.end() && old->second == bytes) continue;
    if (options.no_write) fail("a file changed where nothing may be written", path);
    // A target's name, and so its backup's, may hold anything, the temporary files' marker too.
    if (named.contains(path)) continue;
    if (!is_backup_of_named(path, named, options)) {
      fail(is_temporary_name(path) ? "a temporary file was left" : "an unnamed file changed", path);
    }
    if (!backups_checked) continue;
    // A backup: only under /b, only of a file that was there before the run, and only what it
    // held then, however often the job names it.
    std::string target = path.substr(0, path.size() - options.backup_suffix.size());
    if (!options.backup) fail("a backup was made without /b", path);
    if (!before.contains(target)) fail("a file the run made got a backup", path);
    if (bytes != before.at(target)) {
      fail("a backup does not hold what its file held before the run", path + ": " + bytes);
    }
  }
  if (!options.backup || options.no_write || !backups_checked) return;
  for (const std::string& target : named) {
    auto old = before.find(target);
    // A target that is itself the backup of another named one may change as that backup, and a
    // target whose backup is named may have it changed as a target: neither is told apart here.
    if (old == before.end() || old->second == after.at(target) ||
        named.contains(backup_name(target, options)) ||
        is_backup_name_of_named(target, named, options)) {
      continue;
    }
    auto backup = after.find(backup_name(target, options));
    if (backup == after.end() || backup->second != old->second) {
      fail("a file replaced under /b has no backup of what it held", target);
    }
  }
}

}  // namespace zeltrim::fuzz
