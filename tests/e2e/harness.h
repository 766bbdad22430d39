// Runs the real program in a fresh temporary folder and hands back what it printed, its exit
// code and the files it left, so tests compare bytes exactly.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zeltrim::e2e {

struct Outcome {
  std::string out;      // standard output, byte for byte (for a Windows program, CR LF made LF)
  std::string raw_out;  // standard output exactly as a Windows program wrote it
  int exit_code = -1;
  int signal = 0;  // the signal that ended the program, if one did
};

// A fresh, empty folder, removed with everything in it when the test ends.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::string& path() const { return path_; }
  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }
  void write(std::string_view name, std::string_view bytes) const;
  std::string read(std::string_view name) const;
  bool exists(std::string_view name) const;
  // Names of the files in the folder, sorted.
  std::vector<std::string> names() const;

 private:
  std::string path_;
};

struct RunOptions {
  std::string input;         // standard input; it ends after these bytes
  long long memory_limit = 0;  // RLIMIT_AS in bytes, 0 for none
  long long file_size_limit = 0;  // RLIMIT_FSIZE in bytes, 0 for none (SIGXFSZ is ignored)
  bool as_nobody = false;    // drop to an unprivileged user before starting the program
};

// How the program is started: ZELTRIM_COMMAND (words separated by spaces) when set, else the
// binary this build made.
std::vector<std::string> program_command();
bool program_command_overridden();

// Runs the program with `arguments` in `folder`.
Outcome run_zeltrim(const Scratch& folder, const std::vector<std::string>& arguments,
                    const RunOptions& options = {});

// Is the program under test a Windows one? ZELTRIM_WINDOWS=1 says so, beside a ZELTRIM_COMMAND
// that starts zeltrim.exe through a loader such as wine. Its standard output is in text mode:
// run_zeltrim turns each CR LF back into LF, so every row compares the same text. Tests that
// rest on POSIX facilities (permissions for another user, symbolic links, resource limits)
// skip there and say why.
bool program_is_windows();

// Runs a Windows console tool (for example {"attrib", "+h", "T"}) in `folder` through the same
// loader as the program: ZELTRIM_COMMAND without its last word. Only for a Windows program.
Outcome run_windows_tool(const Scratch& folder, const std::vector<std::string>& command);

// The two banner lines every run begins with.
std::string banner();

// What a run prints around its own lines when it ends normally.
std::string closing_success();
std::string closing_errors();

// Can the tests switch to an unprivileged user here (they run as root)?
bool can_drop_privileges();

}  // namespace zeltrim::e2e
