// The few steps each platform implements for the code that both share (files.cpp, console.cpp,
// interrupts.cpp), and the shared steps the platforms' own files call. Nothing outside
// src/platform includes this.
#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"

namespace zeltrim::platform {

// The system's own words for one of its error numbers.
std::string system_message(long code);

// Done when the system call succeeded, else the error the system reported for it.
inline Status status_of(bool succeeded) { return succeeded ? Status() : Status::last_error(); }

// The longest name, in bytes, that the folder of `path` takes for a file in it.
std::size_t longest_name_beside(const std::string& path);

// Where the file name of a path begins (after its last folder separator).
std::size_t name_start(const std::string& path);

// The folder a path lies in, for the temporary file and for syncing the new name.
std::string folder_of(const std::string& path);

// A file name in the form the file system compares names (on Windows, without letter case).
std::string compared_name(std::string name);

// Gives `file`, still open (the new file of a replacement, or a backup's copy), the attributes
// the target of `replacement` had.
Status give_attributes(File& file, const Replacement& replacement);

// Removes a file whose removal nobody can act on (a temporary file being given up).
void remove_quietly(const std::string& path);

// The console's own steps on each system, for the console both share (console.cpp).
struct ConsoleStart {
  bool gather = false;  // standard output is no terminal: what is printed may be gathered
  Status lost;          // standard output cannot be written at all (it was closed)
};
// Holds the standard descriptors' places and arms the clean-up on interruption.
ConsoleStart start_console();
void show_utf8();
void restore_console();
// The waits of test mode, once what was printed has gone out.
void wait_for_enter();
void wait_for_key();
Status read_standard_input(std::string& bytes);

// Sends up to `size` bytes of `file`, from `offset` on, to standard output inside the system;
// `sent` says how many went. Done with none sent where the system cannot send them this way.
Status send_to_output(File& file, std::uint64_t offset, std::uint64_t size, std::uint64_t& sent);

// The temporary files that an interruption must not leave behind (interrupts.cpp). The files of
// each platform name them while they exist; the interruption handlers of its console remove them.
// A run has at most this many at once: a target's new content and its backup.
inline constexpr std::size_t kTempSlots = 4;

void remember_temp_file(const std::string& path);
void forget_temp_file(const std::string& path);

// The name held in `slot` (below kTempSlots), or null. Safe to call from a signal handler and
// from the thread on which Windows delivers Ctrl-C: a name it returns is never freed.
const char* temp_file_to_remove(std::size_t slot);

}  // namespace zeltrim::platform
