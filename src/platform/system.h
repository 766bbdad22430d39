// What the platforms' own files share (posix_*.cpp, windows_*.cpp, interrupts.cpp), and the
// steps each gives the console both share (console.cpp). The shared disk code reaches a system's
// steps only through Disk and never includes this; nothing outside src/platform does either.
#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"
#include "platform/paths.h"

namespace zeltrim::platform {

// Done when the system call succeeded, else the error the system reported for it.
inline Status status_of(bool succeeded) { return succeeded ? Status() : Status::last_error(); }

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

// The temporary files that an interruption must not leave behind (interrupts.cpp). Each system's
// Disk names them while they exist (a rename or a removal forgets one); the interruption handlers
// of its console remove them.
// A run has at most this many at once: the new content of each target waiting to be put in place,
// and a backup's.
inline constexpr std::size_t kTempSlots = 1024;

void remember_temp_file(const std::string& path);
void forget_temp_file(const std::string& path);

// The name held in `slot` (below kTempSlots), or null. Safe to call from a signal handler and
// from the thread on which Windows delivers Ctrl-C: a name it returns is never freed.
const char* temp_file_to_remove(std::size_t slot);

}  // namespace zeltrim::platform
