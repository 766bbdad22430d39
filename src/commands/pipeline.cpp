#include "commands/pipeline.h"

#include <cstring>

#include "commands/text_search.h"

namespace zeltrim {

namespace {
// Whether a command may act on a line of this text: a first look that most lines fail at their
// first byte, the command itself deciding the rest.
bool may_act_on(const LineKey& key, std::string_view text) {
  std::string_view wanted = key.text;
  switch (key.kind) {
    case LineKey::Kind::every_line:
      return true;
    case LineKey::Kind::none:
      return false;
    case LineKey::Kind::whole:
      return text.size() == wanted.size() && (text.empty() || text[0] == wanted[0]);
    case LineKey::Kind::whole_caseless:
      return text.size() == wanted.size() &&
             (text.empty() || caseless_equal(text.substr(0, 1), wanted.substr(0, 1)));
    case LineKey::Kind::start:
      return text.size() >= wanted.size() && (wanted.empty() || text[0] == wanted[0]);
    case LineKey::Kind::holds:
      return text.size() >= wanted.size() &&
             (wanted.empty() || std::memchr(text.data(), wanted[0], text.size()) != nullptr);
    case LineKey::Kind::key: {
      // Leading "=" are skipped before the key of a key=value line.
      std::size_t start = text.find_first_not_of('=');
      return wanted.empty() || (start != std::string_view::npos &&
                                caseless_equal(text.substr(start, 1), wanted.substr(0, 1)));
    }
  }
  return true;
}
}  // namespace

Pipeline::Pipeline(std::vector<Command*> commands, std::function<void(const Line&)> out)
    : commands_(std::move(commands)), out_(std::move(out)), stage_from_(commands_.size() + 1, 0) {
  for (std::size_t index = 0; index < commands_.size(); ++index) {
    stage_from_[index] = stages_.size();
    LineKey key = commands_[index]->key();
    if (key.kind != LineKey::Kind::none) stages_.push_back({commands_[index], key, index});
  }
  stage_from_[commands_.size()] = stages_.size();
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
  for (std::size_t at = queued.size(); at-- > 0;) push(index + 1, queued[at]);
  queued.clear();
}

void Pipeline::drain() {
  while (!waiting_.empty()) {
    Waiting next = waiting_.back();
    waiting_.pop_back();
    pass(next.stage, next.line);
  }
}

// A line passes by the commands that do not look at lines, and by those it cannot concern.
void Pipeline::pass(std::size_t index, Line line) {
  held_lines_ = true;
  for (auto at = stages_.begin() + static_cast<std::ptrdiff_t>(stage_from_[index]);
       at != stages_.end(); ++at) {
    if (!may_act_on(at->key, line.text)) continue;
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
  for (std::size_t index = 0; index < commands_.size(); ++index) {
    commands_[index]->end();
    push_queued(index);
    drain();
    std::vector<Line>().swap(commands_[index]->queued());  // it will queue nothing more
  }
}

}  // namespace zeltrim
