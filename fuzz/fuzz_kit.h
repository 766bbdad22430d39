// Shared by the fuzz harnesses: a private folder to run in, small file helpers, and the checks
// that a file is in the form this program writes. Harness code only; the program never uses it.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "textfile/target_file.h"

namespace zeltrim::fuzz {

// LLVMFuzzerInitialize, shared by the harnesses, prepares the process once: it makes a private
// temporary folder (in memory where /dev/shm exists, so syncs cost nothing), points standard
// input and output at /dev/null so the program's messages and waits cost nothing, and makes
// libFuzzer write what it finds to the folder it was started in (the runs themselves happen in
// the private folder).

// Each run happens in the private folder; libFuzzer's own files are written outside it.
class InPrivateFolder {
 public:
  InPrivateFolder();
  ~InPrivateFolder();
  InPrivateFolder(const InPrivateFolder&) = delete;
  InPrivateFolder& operator=(const InPrivateFolder&) = delete;
};

// Runs in a folder of its own inside the private folder (made when missing), and back again.
class InSubfolder {
 public:
  explicit InSubfolder(const std::string& name);
  ~InSubfolder();
  InSubfolder(const InSubfolder&) = delete;
  InSubfolder& operator=(const InSubfolder&) = delete;
};

// The stream a run's messages go to: its report, or its errors and warnings.
enum class Channel : unsigned char { output, errors };

// What the program prints on the channel goes to a file of its own while this lives; text() is
// what was printed.
class CapturedOutput {
 public:
  explicit CapturedOutput(Channel channel = Channel::output);
  ~CapturedOutput();
  CapturedOutput(const CapturedOutput&) = delete;
  CapturedOutput& operator=(const CapturedOutput&) = delete;
  std::string text();

 private:
  int stream_;  // the descriptor captured
  int saved_;   // where it pointed before
  std::string path_;
};

// A folder's files, by name: what a run found or left.
using Files = std::map<std::string, std::string>;

// Empties the current folder.
void clear_folder();

// Names in the current folder, sorted.
std::vector<std::string> folder_names();

// False when the file cannot be made (a name the system refuses).
bool write_file(const std::string& path, std::string_view bytes);
std::string read_file(const std::string& path);

// A line of a target as loaded: blank or not, and its text.
struct Loaded {
  bool blank;
  std::string text;
  bool operator==(const Loaded&) const = default;
};

// Loads the file `path` as an .F target with these options: its lines and its kind, or nothing
// when it is refused.
std::optional<std::vector<Loaded>> load(const std::string& path, const TargetOptions& options,
                                        EncodingKind& kind);

// Loads `bytes` as an .F target with these options, in a folder of their own: as load().
std::optional<std::vector<Loaded>> load_bytes(std::string_view bytes, const TargetOptions& options,
                                              EncodingKind& kind);

// The bytes the program's form gives these lines of this kind: the mark, every line with CR LF,
// the end mark after plain and UTF-8 text. Nothing where a line cannot be written (not UTF-8,
// in Unicode mode).
std::optional<std::string> written_form(EncodingKind kind, const std::vector<Loaded>& lines,
                                        bool unicode);

// Writes the target back without a command, as a run does: what the writer says.
WriteResult write_back(const std::string& path, const TargetOptions& options);

// Loads the bytes as a target, in a folder of their own: the written form of what was loaded
// (the bytes themselves where no line was), or nothing when the target is refused.
std::optional<std::string> reload(std::string_view bytes);

// Checks that `bytes`, written back by the program, reload to themselves, apart from the rules
// kept on purpose that make a reload differ; fails the run otherwise.
void check_written_form(std::string_view bytes);

// Checks that `bytes`, written back in their own form (/k) or edited as UTF-8 (/u), read back
// to themselves: written again without a command, they stay as they are.
void check_kept_form(std::string_view bytes, const TargetOptions& options);

// Applies, in order, the unified diffs a run printed to `files` (the contents before it, by
// name), as patch would: a diff of UTF-8 lines (no patch: UTF-16 and UTF-32 text) is skipped and
// its file named in `skipped`. Fails the run when a diff does not apply to what it names.
void apply_diffs(std::string_view report, std::map<std::string, std::string>& files,
                 std::set<std::string>& skipped);

// Reports a broken promise: libFuzzer keeps the input that led here.
[[noreturn]] void fail(std::string_view what, std::string_view detail = {});

// The marker that names a temporary file of the program.
bool is_temporary_name(std::string_view name);

}  // namespace zeltrim::fuzz
