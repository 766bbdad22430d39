// The report of a run as one JSON document, for programs that drive the run: what happened to
// each target, the problems of the job and how the run ended, gathered as the run goes and
// written once at its end. It holds the same facts the messages tell; it prints nothing itself.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "textfile/target_file.h"

namespace zeltrim {

struct JsonReport {
  struct Change {
    long long line;
    char command;
    std::string action;
    std::string text;
  };
  struct TargetReport {
    std::string path;
    std::optional<EncodingKind> kind;  // none when the file could not be looked at
    bool changed = false;
    std::optional<std::string> backup;
    std::optional<std::string> error;   // the program's lines, joined by a line break
    std::optional<std::string> reason;  // the system's reason
    std::vector<Change> changes;
    std::string diff;
  };
  // A problem of the job or the command line, or a warning: its instruction line and the target
  // it belongs to, where it has them.
  struct Problem {
    std::optional<long long> line;
    std::string message;
    std::optional<std::string> target;
  };

  std::vector<std::string_view> options;  // long names, without "--"
  bool with_diff = false;
  std::optional<std::string> error;  // the line of a run that ended before any target
  std::vector<TargetReport> targets;
  std::vector<Problem> problems;
  std::vector<Problem> warnings;

  // The target named last.
  TargetReport& target() { return targets.back(); }
  // Adds to the target named last the change a report line of `command` at instruction line
  // `line` tells: `said`, as printed, is the report's label, a colon and the text.
  void add_change(long long line, char command, std::string_view said);

  // The document of a run that ends with `exit`, with a final line break.
  std::string document(int exit) const;
};

// A message as printed, without its final line break, its %s or %d replaced by `argument`.
std::string message_line(std::string_view format, std::string_view argument);

}  // namespace zeltrim
