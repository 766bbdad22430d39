// The target being edited, from the moment .F or .G names it until it is written back. Its
// command lines are held, each with what it says, until the file passes through all of them in
// one pass as it is written to its destination; then what they said is played back in their
// order (in test mode with every trace and wait), and only then is the new content put in place.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/command_kit.h"
#include "platform/spool.h"
#include "run/held_report.h"
#include "run/run.h"

namespace zeltrim {

// What the run knows of the files it has met, by identity. Where nothing is written: the content
// each would hold by now. Which of them the run made, and whose content from before the run is
// kept; a file it has not met existed before the run and has no backup yet.
class KnownFiles {
 public:
  // What this run would already have written to the file, if anything (handed over).
  platform::File take_shadow(const std::string& key);
  void keep_shadow(const std::string& key, platform::File content);
  // Whether a replacement of the file keeps its content from before the run.
  bool may_back_up(const std::string& key) const;
  void note(const std::string& key, bool made, bool backup_kept);
  // The run's replacement gave the file a new identity: its record follows it.
  void moved(const std::string& from, const std::string& to);

 private:
  struct Record {
    bool made = false;
    bool backup_kept = false;
  };
  std::map<std::string, platform::File> shadows_;
  std::map<std::string, Record> records_;
};

// A command line of the target's job, and everything it says until it is played back: in test
// mode, what it traced and waited for as it was taken; then what it said while the lines passed.
class CommandLine final : public Events {
 public:
  CommandLine(std::shared_ptr<platform::SpoolFile> store, long long number, char letter,
              std::string_view text)
      : number(number), letter(letter), text(text), said_(std::move(store)) {}

  void change(Change change, std::string_view text) override;
  void trace(std::string_view format, std::string_view text) override;
  void wait(Wait wait) override;
  void problem(std::string_view message) override;

  // The lines pass again: what was said as they passed before is forgotten.
  void forget_pass() { said_.forget(); }
  // Hands what it said, in order, to the run's report (the problems and warnings through the
  // run's own steps); what it met.
  Met play_back(const Run& run, std::string_view target);

  long long number;
  char letter;                               // the command's, upper case; none for an invalid one
  std::string_view text;                     // the instruction line as read
  std::optional<LineProblem> problem_found;  // when it was taken
  std::vector<std::string> warnings;
  std::unique_ptr<Command> command;
  std::unique_ptr<TopLine> top_line;  // the answer a .T takes, under /o
  bool passing = false;               // the lines are passing: what it says comes from the pass
  bool quiet = false;                 // lines pass only to be looked at: it says nothing
  bool said_quietly = false;          // its report lines go unsaid

 private:
  void record(char kind, char change, std::string_view text);

  std::string opening_;             // test mode: what it traced as it was taken
  std::vector<std::size_t> waits_;  // where in that an Enter wait follows
  platform::Spool said_;            // records of what it said while the lines passed
};

class Editing {
 public:
  // What the command lines say and test mode's stored lines share `store` with the rest of the
  // run; while new content waits to be put in place, what the run says is kept in `held`.
  Editing(const Run& run, HeldReport& held, std::shared_ptr<platform::SpoolFile> store);

  bool loaded() const { return loaded_; }
  // The path of the target named last, if any.
  std::optional<std::string_view> target() const {
    return named_ ? std::optional<std::string_view>(target_->path) : std::nullopt;
  }
  // The line that names a target, .F or .G: the target before it is written back, with `line`
  // traced in test mode once its command lines have said what they said. `lf_alone`: the line
  // ends with a lone LF, which a file .G makes in its own form takes for its lines.
  Met name(std::string_view path, Naming naming, std::string_view line, bool lf_alone);
  // A command line of the loaded target, `text` as read; `prepare` is null for an invalid
  // command, and `rule` says how its argument is taken.
  void take(char letter, Prepare prepare, const PartsRule& rule, bool top,
            std::string_view argument, std::string_view text, long long number);
  // The end of the instruction file: the last target written back, and every one still
  // waiting put in place.
  Met finish();
  // The run ends early (memory ran out): the new content of every target already written back
  // is put in place all the same.
  void settle_before_ending() { settle(); }

 private:
  Met write_back(std::optional<std::string_view> naming_line);
  struct Carried;
  Carried carry_out();
  void look_ahead(const std::vector<Command*>& commands);
  void warn_unsettled();
  std::string_view argument_for_target(std::string_view argument, CommandLine& line);
  Met say_not_loaded(LoadResult result, const platform::Status& reason);
  Met say_written(const Target& target, const WriteOutcome& outcome);
  void say_diff(const Target& target, WriteOutcome& outcome);
  void note_written(const Target& target, const std::string& key, const WriteOutcome& outcome);
  Met say_results(const Target& target, WriteOutcome& outcome);
  void make_durable();
  void settle();
  void keep_shadow(platform::File would_be);

  const Run& run_;
  HeldReport& held_;
  KnownFiles files_;
  std::shared_ptr<platform::SpoolFile> store_;
  // A target written back while what the run says is kept: its new content waits in its
  // temporary file to be made durable with that of others, or is in place (its folder not yet
  // synced), and its results wait to be said.
  struct Waiting {
    std::unique_ptr<Target> target;
    std::unique_ptr<TargetWriter> writer;
    std::string key;
    platform::File* file;
    WriteOutcome outcome;  // once in place
  };
  std::size_t most_waiting_;  // 1: each is put in place at once
  // Targets whose results wait at most: past these, what was said is said.
  static constexpr std::size_t kMostUnsaid = 1 << 16;
  std::vector<Waiting> waiting_;
  std::size_t placed_ = 0;  // the first of waiting_ not in place
  Met settled_;             // what putting them in place met, not yet returned
  std::unique_ptr<Target> target_ = std::make_unique<Target>();  // no path until .F or .G
  bool named_ = false;
  bool loaded_ = false;
  std::string key_;           // the file's identity, where /n or /b need it
  bool from_shadow_ = false;  // its content is what this run would have written to it
  std::deque<CommandLine> lines_;
  std::deque<std::string> arguments_in_utf8_;  // texts of a UTF-16 job, as a UTF-8 target has them
  platform::Spool stored_;  // test mode: each line as it is written, to be shown before commit
};

}  // namespace zeltrim
