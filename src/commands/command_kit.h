// A command prepared from its instruction line, ready to meet the target's lines one at a
// time, and the pieces every command shares, each written once: the two-part argument split,
// the final-dot rule, the report line and the test-mode trace and wait.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/held_words.h"
#include "commands/run_settings.h"
#include "lines/line.h"

namespace zeltrim {

// Separates the two parts of an argument; the help screen writes it as ".".
inline constexpr char kFieldSeparator = '\x02';

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

// Where what a command line says goes: straight out, or held with the line until its target
// has passed; nowhere while lines pass it only to be looked at.
struct Voice {
  HeldWords* held = nullptr;
  bool quiet = false;
};

// Where a command line stands: the instruction file and the line's number, which a problem it
// meets names on standard error.
struct JobLine {
  std::string_view job;
  long long number = 0;
};

// A problem of the instruction file as standard error tells it: "zeltrim: JOB:LINE: message".
std::string told_problem(const JobLine& where, std::string_view message);

// Under /o, whether the line a .T adds at the top is in the file already, found before the first
// line passes: the line as it reads there, or none. While the lines pass, the .T notes the first
// line equal to its own that it meets, so that an answer found by looking at the first lines
// only can be checked.
struct TopLine {
  std::optional<std::string> present;
  std::optional<std::string> met;
};

// What a command says, and to whom: report lines in every run, trace lines and waits in test
// mode only.
struct CommandContext {
  // A change report, printed in every run.
  void report(std::string_view format, std::string_view text) const;
  // A problem of the instruction line met on the way: said on standard error, and an error of
  // a strict run.
  void problem(std::string_view message) const;

  // In test mode only: the message, and with the _and_wait form an Enter wait after it.
  void trace(std::string_view format, std::string_view text) const;
  void trace_and_wait(std::string_view format, std::string_view text) const;

  const RunSettings& settings;
  // Set when a command meets a problem of the instruction file (a .V that never ends), which a
  // strict run counts as an error.
  bool* problems;
  JobLine where;
  Voice* voice;
  TopLine* top_line = nullptr;  // the answer a .T under /o takes
  std::string_view target;      // the path of the target the command edits
};

struct TwoParts {
  std::string_view first;
  std::string_view second;
};

// How .C, .E, .U and .V open: each part is traced with an Enter wait in test mode as it is
// taken, then the second part loses one final ".". None when a part is missing (the trace stops
// where the missing part was looked for).
std::optional<TwoParts> take_traced_parts(std::string_view argument, const CommandContext& context);

// What a command made of one line.
enum class Taken : unsigned char {
  pass,    // the line goes on, its text perhaps changed
  drop,    // the line is removed
  queued,  // the lines the command queued go on in its place
  held,    // as queued, and the command holds a line back: the next line to come must meet it
};

// The lines a command may act on, so that the others pass it by unseen: every line, none (it
// only adds lines before or after all of them), or lines whose text is `text` (exactly, or
// letter case aside), begins with it, holds it, or has it as the key of a key=value line.
struct LineKey {
  enum class Kind : unsigned char { every_line, none, whole, whole_caseless, start, holds, key };
  Kind kind = Kind::every_line;
  std::string_view text;
};

// A command prepared from its argument. It meets the target's lines in order, once each, and
// may change them, remove them or add lines of its own; lines it adds never meet it again. It
// may meet the lines of one file more than once: each time begins afresh.
class Command {
 public:
  explicit Command(const CommandContext& context) : context_(context) {}
  virtual ~Command() = default;
  Command(const Command&) = delete;
  Command& operator=(const Command&) = delete;

  // Before the first line: may queue lines that go before every other.
  virtual void begin() {}
  virtual Taken take(Line& line) = 0;
  // After the last line: may queue lines that go after every other.
  virtual void end() {}
  virtual LineKey key() const { return {}; }

  // What the command means to a second run of the same job: the line it adds, the line it looks
  // for, and whether it changes a text line that reads `text`.
  virtual std::optional<std::string_view> added() const { return std::nullopt; }
  virtual std::optional<std::string_view> looked_for() const { return std::nullopt; }
  virtual bool changes(std::string_view /*text*/) const { return false; }

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
