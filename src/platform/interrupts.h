// Shared by the files and the console of each platform: the one temporary file that an
// interruption must not leave behind.
#pragma once

#include <string>

namespace zeltrim::platform {

void remember_temp_file(const std::string& path);
void forget_temp_file();

}  // namespace zeltrim::platform
