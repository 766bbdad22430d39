// The temporary files that an interruption must not leave behind. The files of each platform
// name them while they exist; the interruption handlers of its console remove them.
#pragma once

#include <cstddef>
#include <string>

namespace zeltrim::platform {

// A run has at most this many temporary files at once: a target's new content and its backup.
inline constexpr std::size_t kTempSlots = 4;

void remember_temp_file(const std::string& path);
void forget_temp_file(const std::string& path);

// The name held in `slot` (below kTempSlots), or null. Safe to call from a signal handler and
// from the thread on which Windows delivers Ctrl-C: a name it returns is never freed.
const char* temp_file_to_remove(std::size_t slot);

}  // namespace zeltrim::platform
