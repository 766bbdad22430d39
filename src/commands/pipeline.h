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
  Pipeline(std::vector<Command*> commands, std::function<void(const Line&)> out);

  // A line of the file, to the first command.
  void feed(const Line& line) {
    if (!all_started_) start_all();
    feed_from(0, line);
  }
  // After the last line of the file: what each command adds at the end, in order.
  void end();
  // Whether any line ever went in: a target that never held one is not written.
  bool held_lines() const { return held_lines_; }

 private:
  void start(std::size_t stage);
  void start_all();
  void feed_from(std::size_t stage, Line line);
  void pass_queued(std::size_t stage);

  std::vector<Command*> commands_;
  std::vector<bool> started_;  // begin() was called: a command adds its top lines first
  bool all_started_ = false;
  // The commands that look at lines (the others only add lines before or after all of them),
  // and for each command where the first of them at or after it stands among them.
  struct Meeting {
    Command* command;
    const FirstBytes* first_bytes;
    std::size_t index;
  };
  std::vector<Meeting> meeting_;
  std::vector<std::size_t> meeting_from_;
  std::function<void(const Line&)> out_;
  bool held_lines_ = false;
};

}  // namespace zeltrim
