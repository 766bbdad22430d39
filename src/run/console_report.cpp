// The report as the console shows it: every message exactly as the program has always printed
// it, and in test mode each step's trace and the waits after them.
#include "run/report.h"

namespace zeltrim {

namespace {
// The report lines: the label that names each change, and the line the console prints.
struct ChangeWords {
  std::string_view label;
  std::string_view line;
};
constexpr ChangeWords kChanges[] = {
    {"BOTTOM line reads", "  BOTTOM line reads          : %s\n"},
    {"TOP line reads", "  TOP line reads             : %s\n"},
    {"REMOVED line that read", "  REMOVED line that read     : %s\n"},
    {"APPEND AFTER line reads", "  APPEND AFTER line reads    : %s\n"},
    {"SWAPPED line now reads", "  SWAPPED line now reads     : %s\n"},
    {"CONCAT line now reads", "  CONCAT line now reads      : %s\n"},
    {"VARSUB line now reads", "  VARSUB line now reads      : %s\n"},
    {"VARSUB never ends, kept", "  VARSUB never ends, kept    : %s\n"},
    {"UNCONCAT line now reads", "  UNCONCAT line now reads      : %s\n"},
    {"ALREADY PRESENT line", "  ALREADY PRESENT line       : %s\n"},
};
static_assert(std::size(kChanges) == static_cast<std::size_t>(Change::already_present) + 1);

constexpr std::string_view kMakingChangesF = "Making changes to %s\n\n";
constexpr std::string_view kMakingChangesG = "Making changes to %s\n";
constexpr std::string_view kWaiting = "Waiting for %s: another run of ZELTRIM is editing it\n";
constexpr std::string_view kBackupKept = "  BACKUP of old file kept as : %s\n";
constexpr std::string_view kEndedSuccessfully = "\nZELTRIM.EXE ended successfully\n";
constexpr std::string_view kEndedWithErrors = "\nZELTRIM.EXE ended with errors\n";

class ConsoleReport : public Report {
 public:
  explicit ConsoleReport(platform::Console& console) : console_(console) {}

  void stopped(std::string_view line) override { print_line(line); }
  void problem(const Notice& problem, bool shown) override {
    if (shown) print_line(problem.message);
  }
  void warning(const Notice&) override {}
  void named(std::string_view path, Naming naming) override {
    console_.say(naming == Naming::created ? kMakingChangesG : kMakingChangesF, {path});
  }
  void kind(EncodingKind) override {}
  void waiting(std::string_view path) override {
    console_.say(kWaiting, {path});
    console_.flush();
  }
  void refused(std::string_view line, const std::optional<std::string>&) override {
    print_line(line);
  }
  void change(long long, char, Change change, std::string_view text) override {
    console_.say(report_line(change), {text});
  }
  void trace(std::string_view) override {}
  void wait(Wait) override {}
  void diff(std::string_view notes, platform::Spool& diff) override {
    console_.print(notes);
    diff.print(console_);
  }
  void written(const WriteNotice& written) override {
    if (!written.backup.empty()) console_.say(kBackupKept, {written.backup});
    for (const std::string& line : written.lines) print_line(line);
  }
  void ended(bool clean) override { console_.print(clean ? kEndedSuccessfully : kEndedWithErrors); }
  void told(std::string_view subject, std::string_view message) override {
    console_.error(subject, message);
  }

 protected:
  void print_line(std::string_view line) {
    console_.print(line);
    console_.print("\n");
  }
  platform::Console& console_;
};

// Test mode shows each step as it is taken and waits for the user after it.
class TestModeReport final : public ConsoleReport {
 public:
  using ConsoleReport::ConsoleReport;
  void trace(std::string_view text) override { console_.print(text); }
  void wait(Wait wait) override {
    if (wait == Wait::enter) return console_.wait_for_enter();
    console_.wait_for_key();
  }
};
// Quiet: what went wrong, the problems of the job, a preview's verdicts and the diffs alone.
class QuietReport final : public ConsoleReport {
 public:
  using ConsoleReport::ConsoleReport;
  void named(std::string_view, Naming) override {}
  void waiting(std::string_view) override {}
  void change(long long, char, Change, std::string_view) override {}
  void written(const WriteNotice& written) override {
    for (const std::string& line : written.lines) print_line(line);
  }
  void ended(bool) override {}
};
}  // namespace

std::string_view label_of(Change change) { return kChanges[static_cast<int>(change)].label; }

std::string_view report_line(Change change) { return kChanges[static_cast<int>(change)].line; }

std::unique_ptr<Report> console_report(platform::Console& console, bool test_mode, bool quiet) {
  if (test_mode) return std::make_unique<TestModeReport>(console);
  if (quiet) return std::make_unique<QuietReport>(console);
  return std::make_unique<ConsoleReport>(console);
}

}  // namespace zeltrim
