// How each system spells a path: where its name begins, the folder it lies in, the form names
// compare in, and the name of a temporary file beside it. Text only: nothing here reaches the
// disk, and nothing here includes the rest of the platform.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zeltrim::platform {

// Where the file name of a path begins (after its last folder separator).
std::size_t name_start(const std::string& path);

// The folder a path lies in, for the temporary file and for syncing the new name.
std::string folder_of(const std::string& path);

// A file name in the form the file system compares names (on Windows, without letter case).
std::string compared_name(std::string name);

// The name of a temporary file beside `path`: its name followed by the marker and `suffix`, the
// name cut short where it would be longer than the `longest` its folder takes.
std::string temp_name_beside(const std::string& path, std::string_view suffix, std::size_t longest);

}  // namespace zeltrim::platform
