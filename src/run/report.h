// What a run says, event by event, to the report the command line chose once: the console's text
// (with test mode's traces and waits), or one JSON document for a program to read. The run
// decides what happens and in which order; a report decides only how it reads. Reasons for
// failures go to standard error, in every report alike.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/command_kit.h"
#include "platform/console.h"
#include "platform/spool.h"
#include "textfile/target_file.h"

namespace zeltrim {

// A problem of the job or a warning: its instruction line and the target it stands among, where
// it has them, and its message.
struct Notice {
  std::optional<long long> line;
  std::optional<std::string> target;
  std::string message;
};

// What writing a target back came to.
struct WriteNotice {
  bool changed = false;            // new content is in place (where nothing is written: would be)
  std::string backup;              // the backup kept, if any
  std::vector<std::string> lines;  // what the program says of it: an error, or a preview's verdict
  bool error = false;
  std::optional<std::string> reason;  // the system's reason for an error
};

class Report {
 public:
  virtual ~Report() = default;
  // The run stops before any target: the line that says why.
  virtual void stopped(std::string_view line) = 0;
  // A problem, and whether the console shows it (a command while no target is loaded only in a
  // strict run).
  virtual void problem(const Notice& problem, bool shown) = 0;
  virtual void warning(const Notice& warning) = 0;
  // .F or .G names a target; then its kind is known, unless it cannot be looked at.
  virtual void named(std::string_view path, Naming naming) = 0;
  virtual void kind(EncodingKind kind) = 0;
  // Another run holds the target, and this one waits for it.
  virtual void waiting(std::string_view path) = 0;
  // The target cannot be edited: the line that says so, and the system's reason, if any.
  virtual void refused(std::string_view line, const std::optional<std::string>& reason) = 0;
  // A report line of instruction line `line`, whose command letter is `letter`.
  virtual void change(long long line, char letter, Change change, std::string_view text) = 0;
  // Test mode's trace of a step, and a wait for the user.
  virtual void trace(std::string_view text) = 0;
  virtual void wait(Wait wait) = 0;
  // The change to the target as a diff, after the lines that say what it cannot show plainly.
  virtual void diff(std::string_view notes, platform::Spool& diff) = 0;
  virtual void written(const WriteNotice& written) = 0;
  // The run has carried out its job: cleanly, or with errors.
  virtual void ended(bool clean) = 0;
  // A line of standard error, in every report alike: "zeltrim: SUBJECT: message" (the reason for
  // a failure, a problem of an instruction line).
  virtual void told(std::string_view subject, std::string_view message) = 0;
};

// The console's report: test mode's traces every step and waits after it; a quiet one says only
// what went wrong, a preview's verdicts and the diffs.
std::unique_ptr<Report> console_report(platform::Console& console, bool test_mode,
                                       bool quiet = false);

// The label a report line begins with, and the line as the console prints it ("%s" its text).
std::string_view label_of(Change change);
std::string_view report_line(Change change);

}  // namespace zeltrim
