#include "commands/pipeline.h"

namespace zeltrim {

Pipeline::Pipeline(std::vector<Command*> commands, std::function<void(const Line&)> out)
    : commands_(std::move(commands)), out_(std::move(out)), meeting_from_(commands_.size() + 1, 0) {
  for (std::size_t stage = 0; stage < commands_.size(); ++stage) {
    meeting_from_[stage] = meeting_.size();
    if (commands_[stage]->meets_lines()) {
      meeting_.push_back({commands_[stage], commands_[stage]->first_bytes(), stage});
    }
  }
  meeting_from_[commands_.size()] = meeting_.size();
}

// Every command adds its top lines before any other line reaches it, and they go on to the
// commands after it: the last command starts first, so that each line added at the top meets
// commands that have all started. (In the file the last command's top lines come first.)
void Pipeline::start() {
  started_ = true;
  for (std::size_t stage = commands_.size(); stage-- > 0;) {
    commands_[stage]->begin();
    push_queued(stage);
    drain();
  }
}

// The lines a command queued go on, in order, to the commands after it. They point into that
// command's own storage, which stays as it is until the command is called again, and it is not
// called again before they have all gone through.
void Pipeline::push_queued(std::size_t stage) {
  std::vector<Line>& queued = commands_[stage]->queued();
  for (std::size_t at = queued.size(); at-- > 0;) push(stage + 1, queued[at]);
  queued.clear();
}

void Pipeline::drain() {
  while (!work_.empty()) {
    Pending next = work_.back();
    work_.pop_back();
    pass(next.stage, next.line);
  }
}

// A line passes by the commands that do not look at lines, and most lines begin with a byte
// that tells at once that a command leaves them alone.
void Pipeline::pass(std::size_t stage, Line line) {
  held_lines_ = true;
  for (auto at = meeting_.begin() + static_cast<std::ptrdiff_t>(meeting_from_[stage]);
       at != meeting_.end(); ++at) {
    if (at->first_bytes != nullptr && !line.text.empty() &&
        !(*at->first_bytes)[static_cast<unsigned char>(line.text[0])]) {
      continue;
    }
    switch (at->command->take(line)) {
      case Taken::pass:
        continue;
      case Taken::drop:
        return;
      case Taken::queued:
        return push_queued(at->index);
    }
  }
  out_(line);
}

void Pipeline::end() {
  if (!started_) start();
  for (std::size_t stage = 0; stage < commands_.size(); ++stage) {
    commands_[stage]->end();
    push_queued(stage);
    drain();
    std::vector<Line>().swap(commands_[stage]->queued());  // it will queue nothing more
  }
}

}  // namespace zeltrim
