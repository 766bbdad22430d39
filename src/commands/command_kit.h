// A command prepared from its instruction line, ready to meet the target's lines one at a time,
// and what every command shares: the two-part argument rule, the changes it reports and the
// traces of test mode, said as events to whoever listens. Commands print nothing themselves.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lines/line.h"

namespace zeltrim {

// Separates the two parts of an argument; the help screen writes it as ".".
inline constexpr char kFieldSeparator = '\x02';

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

// What a command did to a line, as its report line tells it.
enum class Change : unsigned char {
  bottom,
  top,
  removed,
  appended,
  swapped,
  concat,
  varsub,
  varsub_endless,
  unconcat,
  already_present,  // the text is there already, and nothing is added
};

// The waits of test mode: for Enter after a step, for a key after each line stored.
enum class Wait : unsigned char { enter, key };

// What a command line says, in the order it says it: report lines in every run, and in test mode
// its traces and waits. Where it goes is the run's affair.
class Events {
 public:
  virtual void change(Change change, std::string_view text) = 0;
  virtual void trace(std::string_view format, std::string_view text) = 0;
  virtual void wait(Wait wait) = 0;
  // A problem of the instruction line met while the lines pass (a .V that never ends).
  virtual void problem(std::string_view message) = 0;

 protected:
  ~Events() = default;
};

// Under /o, whether the line a .T adds at the top is in the file already, found before the first
// line passes: the line as it reads there, or none. While the lines pass, the .T notes the first
// line equal to its own that it meets, so that an answer found by looking at the first lines
// only can be checked.
struct TopLine {
  std::optional<std::string> present;
  std::optional<std::string> met;
};

// What a command knows of its run, and where what it says goes.
struct CommandContext {
  bool once = false;       // an addition already there is not made again
  bool test_mode = false;  // steps are traced
  Events* events = nullptr;
  TopLine* top_line = nullptr;  // the answer a .T under /o takes
  std::string_view target;      // the path of the target the command edits

  void report(Change change, std::string_view text) const { events->change(change, text); }
  // In test mode only: the message, and with the _and_wait form an Enter wait after it.
  void trace(std::string_view format, std::string_view text) const {
    if (test_mode) events->trace(format, text);
  }
  void trace_and_wait(std::string_view format, std::string_view text) const {
    if (!test_mode) return;
    events->trace(format, text);
    events->wait(Wait::enter);
  }
};

// How a command takes its argument, as the command table says: whole, or in two parts, each
// traced in test mode as it is taken (a trace is a format with %s, and whether an Enter wait
// follows it).
struct Trace {
  std::string_view format;
  bool wait = false;
};
struct PartsRule {
  bool two_parts = false;
  std::optional<Trace> whole;  // the argument, before it is split
  bool both_first = false;     // both parts are looked for before either is traced
  std::optional<Trace> first;
  std::optional<Trace> second;  // shown before its final dot goes
  bool final_dot = false;       // the second part loses one final "."
};

struct TwoParts {
  std::string_view first;  // the whole argument of a one-part command
  std::string_view second;
};

// The argument as the rule takes it; none when a part it needs is missing (the traces stop where
// the missing part was looked for).
std::optional<TwoParts> take_parts(std::string_view argument, const PartsRule& rule,
                                   const CommandContext& context);

// What a command made of one line.
enum class Taken : unsigned char {
  pass,       // the line goes on, its text perhaps changed
  drop,       // the line is removed
  queued,     // the lines the command queued go on in its place
  kept_back,  // as queued, and the command keeps a line back: the next line to come must meet it
};

// The lines a command may act on, so that the others pass it by unseen: every line, none (it
// only adds lines before or after all of them), or lines whose text is `text` (exactly, or
// letter case aside), begins with it, holds it, or has it as the key of a key=value line.
struct LineKey {
  enum class Kind : unsigned char { every_line, none, whole, whole_caseless, start, holds, key };
  Kind kind = Kind::every_line;
  std::string_view text;
};

// How the letters of a text are compared: as written, or letter case aside.
enum class Letters : unsigned char { as_written, any_case };

// A line a command adds, and how a line of the target is taken for it when the command looks
// whether it is there already (.I, .T and .A under /o: letter case aside).
struct AddedLine {
  std::string_view text;
  Letters present = Letters::as_written;
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
  // for, and whether it changes a text line that reads `text` (with `Letters::any_case`, `text`
  // in some letter case: a line that stands for an added one letter case aside).
  virtual std::optional<AddedLine> added() const { return std::nullopt; }
  virtual std::optional<std::string_view> looked_for() const { return std::nullopt; }
  virtual bool changes(std::string_view /*text*/, Letters /*letters*/) const { return false; }

  // The lines queued since they were last taken away.
  std::vector<Line>& queued() { return queue_; }

 protected:
  const CommandContext& context() const { return context_; }
  void queue(Line line) { queue_.push_back(line); }

 private:
  CommandContext context_;
  std::vector<Line> queue_;
};

// Prepares a command from its argument, taken as its command's rule says. Arguments are views of
// the instruction file, which outlives every command.
using Prepare = std::unique_ptr<Command> (*)(const TwoParts& argument,
                                             const CommandContext& context);

}  // namespace zeltrim
