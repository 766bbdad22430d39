#include "commands/pipeline.h"

namespace zeltrim {

Pipeline::Pipeline(std::vector<Command*> commands, std::function<void(const Line&)> out)
    : commands_(std::move(commands)),
      started_(commands_.size(), false),
      meeting_from_(commands_.size() + 1, 0),
      out_(std::move(out)) {
  for (std::size_t stage = 0; stage < commands_.size(); ++stage) {
    meeting_from_[stage] = meeting_.size();
    if (commands_[stage]->meets_lines()) {
      meeting_.push_back({commands_[stage], commands_[stage]->first_bytes(), stage});
    }
  }
  meeting_from_[commands_.size()] = meeting_.size();
}

// Every command adds its top lines before the file's first line comes; each goes on to the
// commands after it, which start as it reaches them.
void Pipeline::start_all() {
  for (std::size_t stage = 0; stage < commands_.size(); ++stage) {
    if (!started_[stage]) start(stage);
  }
  all_started_ = true;
}

// A command adds its top lines before it meets any other line; they go on to the commands
// after it.
void Pipeline::start(std::size_t stage) {
  started_[stage] = true;
  commands_[stage]->begin();
  pass_queued(stage);
}

void Pipeline::feed_from(std::size_t stage, Line line) {
  held_lines_ = true;
  // While the commands add their top lines, each command starts as a line reaches it.
  if (!all_started_) {
    for (std::size_t before = 0; before < commands_.size(); ++before) {
      if (before >= stage && !started_[before]) start(before);
    }
  }
  // A line passes by the commands that do not look at lines, and most lines begin with a byte
  // that tells at once that a command leaves them alone.
  for (auto at = meeting_.begin() + static_cast<std::ptrdiff_t>(meeting_from_[stage]);
       at != meeting_.end(); ++at) {
    if (!all_started_ && !started_[at->index]) start(at->index);
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
        return pass_queued(at->index);
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
  if (!all_started_) start_all();
  for (std::size_t stage = 0; stage < commands_.size(); ++stage) {
    if (!started_[stage]) start(stage);
    commands_[stage]->end();
    pass_queued(stage);
    std::vector<Line>().swap(commands_[stage]->queued());  // it will queue nothing more
  }
}

}  // namespace zeltrim
