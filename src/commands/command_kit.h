// Inside the commands room: a command prepared from its instruction line, ready to meet the
// target's lines one at a time, and the pieces every command shares, each written once — the
// two-part argument split, the final-dot rule, the report line and the test-mode trace and wait.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "commands/interpreter.h"
#include "lines/line_list.h"
#include "platform/spool.h"

namespace zeltrim {

// The bytes a line's text may begin with for a command to do anything with it.
using FirstBytes = std::array<bool, 256>;

// Separates the two parts of an argument; the help screen writes it as ".".
inline constexpr char kFieldSeparator = '\x02';

// The first bytes of lines that may begin with `start`: its first byte, in both cases where
// `caseless` and it is a letter. Empty `start`: none (only empty texts may match it).
FirstBytes first_bytes_of(std::string_view start, bool caseless);

// What a command that adds text says when the text is there already and it adds nothing.
inline constexpr std::string_view kAlreadyPresent = "  ALREADY PRESENT line       : %s\n";

// The first part: leading separators skipped, up to the next separator or the end.
// Empty when the argument holds nothing but separators.
std::string_view first_part(std::string_view argument);

// The second part: everything behind the separator that ends the first part (an argument never
// holds an LF: its instruction line ended there). Later separators belong to it. Empty when
// missing.
std::string_view second_part(std::string_view argument);

// Whether the argument has both parts that a two-part command needs.
bool has_both_parts(std::string_view argument);

// The text without one final ".", as .C, .E, .U and .V take their second part.
std::string_view without_final_dot(std::string_view text);

// What a command line says while it waits for its target to pass: its report lines, and the
// lines about its problems that go to standard error; printed in that order.
struct HeldWords {
  explicit HeldWords(platform::SpoolBudget* budget) : said(budget) {}
  void print();

  platform::Spool said;
  std::vector<std::string> told;
};

// Where a command line stands: the instruction file and the line's number, which a problem it
// meets names on standard error.
struct JobLine {
  std::string_view job;
  long long number = 0;
};

// A problem of the instruction file as standard error tells it: "zeltrim: JOB:LINE: message".
std::string told_problem(const JobLine& where, std::string_view message);

// What a command says, and to whom: report lines in every run, trace lines and waits in test
// mode only.
class CommandContext {
 public:
  // `problems` is set when a command meets a problem of the instruction file (a .V that never
  // ends), which a strict run counts as an error. What it says is held in `held` until its turn
  // comes (null: said at once, the way a command run alone says it); a silent context says
  // nothing at all (a look ahead at the lines).
  CommandContext(const RunSettings& settings, bool* problems, JobLine where,
                 HeldWords* held = nullptr, bool silent = false)
      : settings_(&settings), problems_(problems), where_(where), held_(held), silent_(silent) {}

  const RunSettings& settings() const { return *settings_; }

  // A change report, printed in every run.
  void report(std::string_view format, std::string_view text) const;
  // A problem of the instruction line met on the way: said on standard error, and an error of
  // a strict run.
  void problem(std::string_view message) const;

  // In test mode only: the message, and with the _and_wait form an Enter wait after it.
  void trace(std::string_view format, std::string_view text) const;
  void trace_and_wait(std::string_view format, std::string_view text) const;

 private:
  const RunSettings* settings_;
  bool* problems_;
  JobLine where_;
  HeldWords* held_ = nullptr;
  bool silent_ = false;
};

struct TwoParts {
  std::string_view first;
  std::string_view second;
};

// How .C, .E, .U and .V open: each part is traced with an Enter wait in test mode as it is
// taken, then the second part loses one final ".". False when a part is missing (the trace
// stops where the missing part was looked for).
bool take_traced_parts(std::string_view argument, const CommandContext& context, TwoParts& parts);

// What a command made of one line.
enum class Taken : unsigned char {
  pass,    // the line goes on, its text perhaps changed
  drop,    // the line is removed
  queued,  // the lines the command queued go on in its place
};

// A command prepared from its argument. It meets the target's lines in order, once each, and
// may change them, remove them or add lines of its own; lines it adds never meet it again.
class Command {
 public:
  explicit Command(const CommandContext& context) : context_(context) {}
  virtual ~Command() = default;
  Command(const Command&) = delete;
  Command& operator=(const Command&) = delete;

  // Whether the command looks at lines at all, or only adds lines before or after them.
  virtual bool meets_lines() const { return true; }
  // Whether the command must see every line it will meet before it meets the first (to know
  // whether a line it adds at the top is there already), that look at each line, and whether
  // it has seen enough. A copy of the command prepared again takes what this one saw.
  virtual bool previews() const { return false; }
  virtual void preview(const Line&) {}
  virtual bool previewed_enough() const { return false; }
  virtual void adopt_preview(const Command&) {}
  // After the last line: whether the lines it met agree with what it took for granted before
  // the first. A look ahead cut short takes what it has not seen to be absent; where that was
  // wrong, the lines pass again, and a copy that adopts what this one saw knows better.
  virtual bool preview_confirmed() const { return true; }
  // Before the first line: may queue lines that go before every other.
  virtual void begin() {}
  virtual Taken take(Line& line) = 0;
  // The first bytes of the texts this command may change: a line whose text is not empty and
  // begins with another byte passes it by untouched, unseen. Null: it sees every line.
  virtual const FirstBytes* first_bytes() const { return nullptr; }
  // After the last line: may queue lines that go after every other.
  virtual void end() {}

  // The lines queued since they were last taken away.
  std::vector<Line>& queued() { return queue_; }

 protected:
  const CommandContext& context() const { return context_; }
  void queue(Line line) { queue_.push_back(line); }

 private:
  CommandContext context_;
  std::vector<Line> queue_;
};

// Prepares a command from its argument; null when a part it needs is missing. Arguments are
// views of the instruction file, which outlives every command.
using Prepare = std::unique_ptr<Command> (*)(std::string_view argument,
                                             const CommandContext& context);

}  // namespace zeltrim
