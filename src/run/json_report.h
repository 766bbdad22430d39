// The report of a run as one JSON document, for programs that drive the run: what happened to
// each target, the problems and warnings of the job and how the run ended, gathered from the
// run's events as they come and written once at its end. It prints nothing before that.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/report.h"

namespace zeltrim {

class JsonReport final : public Report {
 public:
  // `options`: the long names of the options in force, without "--". Lines that standard output
  // would hold and the document cannot (another run's lock waited for) go to `console`'s
  // standard error.
  JsonReport(platform::Console& console, std::vector<std::string_view> options, bool with_diff)
      : console_(console), options_(std::move(options)), with_diff_(with_diff) {}

  void stopped(std::string_view line) override { error_ = line; }
  void problem(const Notice& problem, bool) override { problems_.push_back(problem); }
  void warning(const Notice& warning) override { warnings_.push_back(warning); }
  void named(std::string_view path, Naming) override { targets_.emplace_back().path = path; }
  void kind(EncodingKind kind) override { targets_.back().kind = kind; }
  void waiting(std::string_view path) override;
  void refused(std::string_view line, const std::optional<std::string>& reason) override;
  void change(long long line, char letter, Change change, std::string_view text) override {
    targets_.back().changes.push_back({line, letter, change, std::string(text)});
  }
  void trace(std::string_view) override {}
  void wait(Wait) override {}
  void diff(std::string_view notes, platform::Spool& diff) override;
  void written(const WriteNotice& written) override;
  void ended(bool) override {}
  void told(std::string_view subject, std::string_view message) override {
    console_.error(subject, message);
  }

  // The document of a run that ends with `exit`, with a final line break.
  std::string document(int exit) const;

 private:
  struct Changed {
    long long line;
    char command;
    Change change;
    std::string text;
  };
  struct Target {
    std::string path;
    std::optional<EncodingKind> kind;  // none when the file could not be looked at
    bool changed = false;
    std::optional<std::string> backup;
    std::optional<std::string> error;   // the program's lines, joined by a line break
    std::optional<std::string> reason;  // the system's reason
    std::vector<Changed> changes;
    std::string diff;
  };
  void write_target(std::string& out, const Target& target) const;

  platform::Console& console_;
  std::vector<std::string_view> options_;
  bool with_diff_;
  std::optional<std::string> error_;  // the line of a run that ended before any target
  std::vector<Target> targets_;
  std::vector<Notice> problems_;
  std::vector<Notice> warnings_;
};

// What a report says when memory ran out while it was being written.
std::string_view out_of_memory_document();

}  // namespace zeltrim
