#include "commands/pipeline.h"

namespace zeltrim {

// A command adds its top lines before it meets any other line; they go on to the commands
// after it.
void Pipeline::start(std::size_t stage) {
  started_[stage] = true;
  commands_[stage]->begin();
  pass_queued(stage);
}

void Pipeline::feed_from(std::size_t stage, Line line) {
  held_lines_ = true;
  for (; stage < commands_.size(); ++stage) {
    if (!started_[stage]) start(stage);
    switch (commands_[stage]->take(line)) {
      case Taken::pass:
        continue;
      case Taken::drop:
        return;
      case Taken::queued:
        return pass_queued(stage);
    }
  }
  out_(line);
}

// The lines a command queued go on, in order, to the commands after it. They point into that
// command's own storage, which stays as it is until the command is called again.
void Pipeline::pass_queued(std::size_t stage) {
  std::vector<Line>& queued = commands_[stage]->queued();
  for (std::size_t at = 0; at < queued.size(); ++at) feed_from(stage + 1, queued[at]);
  queued.clear();
}

void Pipeline::end() {
  for (std::size_t stage = 0; stage < commands_.size(); ++stage) {
    if (!started_[stage]) start(stage);
    commands_[stage]->end();
    pass_queued(stage);
  }
}

}  // namespace zeltrim
