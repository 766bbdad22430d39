// One run of an instruction file: the current target, what the run has met so far, and every
// message about a target, printed here from what the file layer reports. Every mode carries a
// target out through the same pipeline: all its commands in one pass as the file is written
// back, or (test mode) each command in a pass of its own when it is dispatched.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/command_kit.h"
#include "commands/json_report.h"
#include "commands/run_settings.h"
#include "textfile/records.h"
#include "textfile/target_file.h"

namespace zeltrim {

// The problems of an instruction line that the dispatcher finds.
enum class LineProblem : unsigned char {
  invalid_command,   // no command letter this program knows
  missing_part,      // a two-part command without both parts
  no_target_loaded,  // a command while no target is loaded
};

// A command line of a target carried out in one pass: what it met when it was dispatched, its
// command, and what it says as the file passes, held until the file has passed.
struct HeldLine {
  HeldLine(HeldStore* store, long long line, char command_letter)
      : words(store), number(line), letter(command_letter) {}

  HeldWords words;
  Voice voice{&words};
  long long number;
  char letter;                         // the command's, upper case; none for an invalid one
  std::optional<LineProblem> problem;  // found when it was dispatched
  std::vector<std::string> warnings;   // said on standard error after its report lines
  std::unique_ptr<Command> command;
  std::unique_ptr<TopLine> top_line;  // the answer a .T takes, under /o
};

// The target being edited, from the moment it is named until it is written back.
struct Current {
  Target target;  // its path is empty until the first .F or .G
  bool loaded = false;
  std::string key;            // the file's identity, where /n or /b need it
  bool from_shadow = false;   // its content is what this run would have written to it
  std::deque<HeldLine> held;  // in one pass: its command lines, until the file passes
  Records content;            // in passes: the lines as the commands so far left them
  bool held_lines = false;    // in passes: a line was ever in it
};

// What the run has met so far.
struct Tally {
  bool named_a_target = false;
  bool errors = false;
  bool would_change = false;  // where nothing is written: a file would have changed
  bool problems = false;      // a command met a problem of the instruction file on the way
};

struct Run {
  Run(const RunSettings& run_settings, std::string_view job_path, platform::Disk& run_disk,
      JsonReport* report)
      : settings(run_settings),
        job(job_path),
        disk(run_disk),
        json(report),
        held_words(run_disk, kHeldWords) {}

  const RunSettings& settings;
  std::string_view job;  // the instruction file, as the command line names it
  // The instruction file was UTF-16 text, read one code unit per byte: its texts are characters,
  // which a UTF-8 target takes as their UTF-8 bytes.
  bool job_in_utf16 = false;
  std::deque<std::string> arguments_in_utf8;  // those texts, as a UTF-8 target takes them
  platform::Disk& disk;
  JsonReport* json;  // in JSON mode, what the messages would say; else null
  Tally tally;
  // What the held words of all command lines may take of memory before they go to a file:
  // enough for a report line from each of a hundred thousand command lines. It outlives the
  // command lines of the current target.
  static constexpr std::size_t kHeldWords = std::size_t{8} << 20;
  HeldStore held_words;
  Current current;
  // Where nothing is written: what the run would have written so far to each file, by the file's
  // identity, so that a file named again is edited as it would be by then.
  std::map<std::string, platform::File> shadows;
  // What the run knows of each file it has met, by identity; a file it has not met existed
  // before the run and has no backup yet. A replacement gives the file a new identity: its record
  // follows it, so that a file named again, however often, is known for what it is.
  struct FileRecord {
    bool made = false;         // the run made it: it had no content before the run
    bool backup_kept = false;  // its content from before the run is kept
  };
  std::map<std::string, FileRecord> records;
  Voice direct;  // where a command says what it says at once
};

// .F and .G: writes the current target back and names the next.
void name_target(Run& run, std::string_view argument, Naming naming);

// A command line of the loaded target: prepared from its argument and carried out, now in a
// pass of its own or held for the one pass. `top` for .T, which under /o must know whether its
// line is there before the first line passes.
void take_command(Run& run, char letter, Prepare prepare, bool top, std::string_view argument,
                  long long number);

// A command line with no known command letter, while a target is loaded.
void take_invalid(Run& run, long long number);

// Writes the current target back, if one was named, and says what happened.
void write_back(Run& run);

// Says a problem of instruction line `number`: on standard output as always (a missing target
// only in a strict run), or in the JSON report, and on standard error. It belongs to `target`
// (none: the current one, if any).
void say_problem(Run& run, LineProblem problem, long long number,
                 std::optional<std::string_view> target = std::nullopt);

// Says a warning about instruction line `number` of the current target: on standard error, or in
// the JSON report.
void say_warning(Run& run, long long number, std::string_view message);

// The system's reason for a failure, on standard error: "zeltrim: PATH: reason".
void explain(const std::string& path, const platform::Status& reason);

// Prints a message of the run, or in JSON mode leaves it to the report.
void say(const Run& run, std::string_view format, std::string_view argument);

}  // namespace zeltrim
