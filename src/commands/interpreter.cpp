// The dispatcher: walks the instruction file, loads and writes back targets, and calls the
// handlers. A command that needs a target does nothing while none is loaded.
#include "commands/interpreter.h"

#include <cstring>
#include <string>

#include "commands/command_kit.h"
#include "platform/console.h"
#include "platform/files.h"
#include "target/target_file.h"

namespace zeltrim {

namespace {
constexpr std::string_view kCouldNotOpen = "Could not open file %s\n";
constexpr std::string_view kCouldNotRead = "Could not read file %s\n";
constexpr std::string_view kMakingChangesF = "Making changes to %s\n\n";
constexpr std::string_view kMakingChangesG = "Making changes to %s\n";
constexpr std::string_view kInvalidCommand = "Invalid command found on line %d\n";
constexpr std::string_view kMissingPart = "Missing field separator on line %d - command ignored\n";
constexpr std::string_view kTraceOperation = "TEST MODE: operation is %s\n\n";
constexpr std::string_view kTraceEnd =
    "TEST MODE: end of %s operation\n\nTEST MODE: Press ENTER to continue...\n\n";

constexpr char kCommandMark = '.';
// The letter is the second byte and the argument starts at the fourth: the third byte
// (a space in every example) is skipped whatever it is.
constexpr std::size_t kLetterAt = 1;
constexpr std::size_t kArgumentAt = 3;

enum class Read { ok, cannot_open, cannot_read };

// The instruction file is read whole (it may be a pipe), before any command is carried out.
Read read_instructions(const std::string& path, platform::FileBytes& bytes) {
  platform::File file;
  if (!platform::open_for_reading(path, platform::Accept::anything_but_folder, file)) {
    return Read::cannot_open;
  }
  return platform::read_whole(file, bytes) ? Read::ok : Read::cannot_read;
}

char upper_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

struct Run {
  std::string target_path;
  int loaded = 0;
  bool errors = false;
};

// Writes the current target back, if one was named.
void write_back(Run& run) {
  if (!run.target_path.empty() && !put_target_file(run.target_path)) run.errors = true;
}

void name_target(Run& run, std::string_view argument, bool create) {
  write_back(run);
  run.target_path.assign(argument);
  platform::say(create ? kMakingChangesG : kMakingChangesF, run.target_path);
  run.loaded = get_target_file(run.target_path, create ? 1 : 0);
  if (!run.loaded) run.errors = true;
}

void carry_out(Run& run, std::string_view line, long long line_number) {
  // A zero byte cannot stand in any text the commands work on.
  bool usable = std::memchr(line.data(), '\0', line.size()) == nullptr;
  char letter = usable && line.size() > kLetterAt ? upper_ascii(line[kLetterAt]) : '\0';
  std::string_view argument = line.size() > kArgumentAt ? line.substr(kArgumentAt) : "";

  Handled handled = Handled::done;
  switch (letter) {
    case 'F':
    case 'G':
      name_target(run, argument, letter == 'G');
      return;
    case 'I':
    case 'T':
    case 'R':
    case 'A':
    case 'S':
    case 'C':
    case 'E':
    case 'U':
    case 'V':
      break;
    default:
      platform::say(kInvalidCommand, line_number);
      return;
  }
  if (!run.loaded) return;
  switch (letter) {
    case 'I':
      bottom_line(argument);
      break;
    case 'T':
      top_line(argument);
      break;
    case 'R':
      remove_line(argument);
      break;
    case 'A':
      handled = append_after(argument);
      break;
    case 'S':
      handled = swap_line(argument);
      break;
    case 'C':
      handled = concat_line(argument, 1);
      break;
    case 'E':
      handled = concat_line(argument, 0);
      break;
    case 'U':
      handled = unconcat_line(argument);
      break;
    case 'V':
      handled = varsub_line(argument);
      break;
  }
  if (handled == Handled::missing_part) platform::say(kMissingPart, line_number);
}
}  // namespace

RunOutcome run_instruction_file(const std::string& path) {
  platform::FileBytes instructions;
  Read read = read_instructions(path, instructions);
  if (read != Read::ok) {
    platform::say(read == Read::cannot_open ? kCouldNotOpen : kCouldNotRead, path);
    return RunOutcome::instruction_file_missing;
  }

  Run run;
  std::string_view rest = instructions.view();
  for (long long line_number = 1; !rest.empty(); ++line_number) {
    std::size_t lf = rest.find('\n');
    std::size_t length = lf == std::string_view::npos ? rest.size() : lf + 1;
    std::string_view line = rest.substr(0, length);
    rest.remove_prefix(length);
    if (line.ends_with("\r\n")) line.remove_suffix(2);
    if (!line.starts_with(kCommandMark)) continue;

    trace(kTraceOperation, line);
    carry_out(run, line, line_number);
    trace_and_wait(kTraceEnd, line);
  }
  write_back(run);
  return run.errors ? RunOutcome::completed_with_errors : RunOutcome::completed;
}

}  // namespace zeltrim
