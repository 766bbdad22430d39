// The one temporary file that an interruption must not leave behind. The files of each
// platform name it while it exists; the interruption handlers of its console remove it.
#pragma once

#include <string>

namespace zeltrim::platform {

void remember_temp_file(const std::string& path);
void forget_temp_file();

// The name to remove on an interruption, or null. Safe to call from a signal handler and from
// the thread on which Windows delivers Ctrl-C: the name it returns is never freed.
const char* temp_file_to_remove();

}  // namespace zeltrim::platform
