// The commands of one target as one pipeline. Every line passes through the commands that may
// act on it, in their order, and what comes out goes on at once, so a target is never kept
// whole. Each command meets the lines in the same order, and sees the same lines, as when it
// runs alone over the whole file after the commands before it.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "commands/command_kit.h"
#include "commands/line_index.h"
#include "commands/text_search.h"

namespace zeltrim {

class Pipeline {
 public:
  // `out` takes every line that comes out of the last command.
  Pipeline(std::vector<Command*> commands, std::function<void(const Line&)> out);

  // A line of the file, to the first command.
  void feed(const Line& line) {
    if (!started_) start();
    pass(0, line);
    drain();
  }
  // After the last line of the file: what each command adds at the end, in order.
  void end();
  // The one text that every stage looks for anywhere in a line, where that is all they look
  // at: a line that does not hold it passes through them all untouched, and need not be fed.
  // None where a stage looks at lines otherwise, or while a line is on its way or kept back.
  // Starts the pipeline, so that lines added at the top go out first.
  const Pattern* untouched_unless_holding() {
    if (!sought_) return nullptr;
    if (!started_) start();
    return waiting_.empty() && keeping_back_.empty() ? &*sought_ : nullptr;
  }
  // Lines of the file went by untouched.
  void passed_by() { any_line_ = true; }
  // Whether any line ever went in: a target that never had one is not written.
  bool any_line() const { return any_line_; }

 private:
  void start();
  void push_queued(std::size_t index);
  void drain();
  void pass(std::size_t index, Line line);
  void note_keeping_back(std::uint32_t stage, bool keeps);

  std::vector<Command*> commands_;
  std::function<void(const Line&)> out_;
  // The commands that look at lines (the others only add lines before or after all of them) as
  // stages: each stage's place among all commands, where the first stage at or after each
  // command stands, and which stages a line may concern.
  std::vector<std::uint32_t> stages_;
  std::vector<std::uint32_t> stage_from_;
  LineIndex index_;
  std::optional<Pattern> sought_;  // see untouched_unless_holding
  StageList found_;
  StageList keeping_back_;  // stages that keep a line back, which the next line to come must meet
  // Lines on their way, each to the command it meets next; the last one goes first. A line goes
  // all the way through before the next one starts, however many lines the commands add.
  struct Waiting {
    std::size_t stage;
    Line line;
  };
  std::vector<Waiting> waiting_;
  bool started_ = false;
  bool any_line_ = false;
};

}  // namespace zeltrim
