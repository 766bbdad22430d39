#include "commands/pipeline.h"

#include <algorithm>

namespace zeltrim {

Pipeline::Pipeline(std::vector<Command*> commands, std::function<void(const Line&)> out)
    : commands_(std::move(commands)), out_(std::move(out)), stage_from_(commands_.size() + 1, 0) {
  for (std::size_t index = 0; index < commands_.size(); ++index) {
    auto stage = static_cast<std::uint32_t>(stages_.size());
    stage_from_[index] = stage;
    LineKey key = commands_[index]->key();
    if (key.kind == LineKey::Kind::none) continue;
    stages_.push_back(static_cast<std::uint32_t>(index));
    index_.add(stage, key);
  }
  stage_from_[commands_.size()] = static_cast<std::uint32_t>(stages_.size());
  std::optional<std::string_view> held;
  for (std::uint32_t at : stages_) {
    LineKey key = commands_[at]->key();
    if (key.kind != LineKey::Kind::holds || key.text.empty() || (held && *held != key.text)) {
      return;
    }
    held = key.text;
  }
  if (held) sought_ = prepare_pattern(*held);
}

// Every command adds its top lines before any other line reaches it, and they go on to the
// commands after it: the last command starts first, so that each line added at the top meets
// commands that have all started. (In the file the last command's top lines come first.)
void Pipeline::start() {
  started_ = true;
  for (std::size_t index = commands_.size(); index-- > 0;) {
    commands_[index]->begin();
    push_queued(index);
    drain();
  }
}

// The lines a command queued go on, in order, to the commands after it. They point into that
// command's own storage, which stays as it is until the command is called again, and it is not
// called again before they have all gone through.
void Pipeline::push_queued(std::size_t index) {
  std::vector<Line>& queued = commands_[index]->queued();
  for (std::size_t at = queued.size(); at-- > 0;) waiting_.push_back({index + 1, queued[at]});
  queued.clear();
}

void Pipeline::drain() {
  while (!waiting_.empty()) {
    Waiting next = waiting_.back();
    waiting_.pop_back();
    pass(next.stage, next.line);
  }
}

// A line meets the stages that may act on it, and those that keep a line back. One that changes
// its text may concern other stages now: it is looked up again among those after the one that
// changed it.
void Pipeline::pass(std::size_t index, Line line) {
  any_line_ = true;
  for (std::uint32_t from = stage_from_[index]; from < stages_.size();) {
    index_.find(line.text, from, found_);
    // The stages keeping a line back meet it too.
    if (auto first = std::ranges::lower_bound(keeping_back_, from); first != keeping_back_.end()) {
      found_.insert(found_.end(), first, keeping_back_.end());
      std::sort(found_.begin(), found_.end());
      found_.erase(std::unique(found_.begin(), found_.end()), found_.end());
    }
    from = static_cast<std::uint32_t>(stages_.size());
    for (std::uint32_t stage : found_) {
      std::string_view before = line.text;
      std::size_t at = stages_[stage];
      Taken taken = commands_[at]->take(line);
      if (taken == Taken::kept_back || !keeping_back_.empty())
        note_keeping_back(stage, taken == Taken::kept_back);
      switch (taken) {
        case Taken::pass:
          break;
        case Taken::drop:
          return;
        case Taken::queued:
        case Taken::kept_back:
          return push_queued(at);
      }
      if (line.text.data() != before.data() || line.text.size() != before.size()) {
        from = stage + 1;
        break;
      }
    }
  }
  out_(line);
}

void Pipeline::note_keeping_back(std::uint32_t stage, bool keeps) {
  auto at = std::lower_bound(keeping_back_.begin(), keeping_back_.end(), stage);
  bool kept = at != keeping_back_.end() && *at == stage;
  if (keeps && !kept) keeping_back_.insert(at, stage);
  if (!keeps && kept) keeping_back_.erase(at);
}

void Pipeline::end() {
  if (!started_) start();
  for (std::size_t index = 0; index < commands_.size(); ++index) {
    commands_[index]->end();
    push_queued(index);
    drain();
    std::vector<Line>().swap(commands_[index]->queued());  // it will queue nothing more
  }
}

}  // namespace zeltrim
