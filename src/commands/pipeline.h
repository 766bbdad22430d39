// Inside the commands room: the commands of one target as one pipeline. Every line of the file
// passes through every command in turn, and what comes out goes on at once, so a target is
// never held whole. Each command meets the lines in the same order, and sees the same lines, as
// when it runs alone over the whole file after the commands before it.
#pragma once

#include <functional>
#include <vector>

#include "commands/command_kit.h"

namespace zeltrim {

class Pipeline {
 public:
  // `out` takes every line that comes out of the last command.
  Pipeline(std::vector<Command*> commands, std::function<void(const Line&)> out)
      : commands_(std::move(commands)), started_(commands_.size(), false), out_(std::move(out)) {}

  // A line of the file, to the first command.
  void feed(const Line& line) { feed_from(0, line); }
  // After the last line of the file: what each command adds at the end, in order.
  void end();
  // Whether any line ever went in: a target that never held one is not written.
  bool held_lines() const { return held_lines_; }

 private:
  void start(std::size_t stage);
  void feed_from(std::size_t stage, Line line);
  void pass_queued(std::size_t stage);

  std::vector<Command*> commands_;
  std::vector<bool> started_;  // begin() was called: a command adds its top lines first
  std::function<void(const Line&)> out_;
  bool held_lines_ = false;
};

}  // namespace zeltrim
