// The diff: every new line knows which old line it came from (or that it was added), and old
// lines never change places, so the old and new contents line up as they are written; no search
// for a longest common part is needed, and memory does not grow with the file.
#include "target/diff.h"

namespace zeltrim {

namespace {
constexpr std::size_t kContext = 3;  // unchanged lines shown around each change
}  // namespace

LineDiff::LineDiff(Target& target) : path_(target.path), old_(target, true) {}

void LineDiff::emit(Mark mark, std::string_view text) {
  if (mark == Mark::same) {
    if (!open_) {
      before_.emplace_back(text);
      if (before_.size() > kContext) before_.pop_front();
    } else {
      after_.emplace_back(text);
      // A gap too long to join with the next change: the hunk ends with its context.
      if (after_.size() > 2 * kContext) close_hunk();
    }
    ++old_line_;
    ++new_line_;
    return;
  }
  changed_ = true;
  if (!open_) {
    open_ = true;
    hunk_old_ = old_line_ - before_.size();
    hunk_new_ = new_line_ - before_.size();
    hunk_old_count_ = hunk_new_count_ = 0;
    after_.swap(before_);
    before_.clear();
  }
  for (const std::string& same : after_) {
    hunk_.append(" ");
    hunk_.append(same);
    hunk_.append("\n");
  }
  hunk_old_count_ += after_.size();
  hunk_new_count_ += after_.size();
  after_.clear();
  const char sign = static_cast<char>(mark);
  hunk_.append(std::string_view(&sign, 1));
  hunk_.append(text);
  hunk_.append("\n");
  if (mark == Mark::removed) {
    ++hunk_old_count_;
    ++old_line_;
  } else {
    ++hunk_new_count_;
    ++new_line_;
  }
}

void LineDiff::close_hunk() {
  std::size_t shown = std::min(after_.size(), kContext);
  for (std::size_t i = 0; i < shown; ++i) {
    hunk_.append(" ");
    hunk_.append(after_[i]);
    hunk_.append("\n");
  }
  hunk_old_count_ += shown;
  hunk_new_count_ += shown;
  // An empty side starts at the line before it.
  std::uint64_t old_start = hunk_old_count_ == 0 ? hunk_old_ : hunk_old_ + 1;
  std::uint64_t new_start = hunk_new_count_ == 0 ? hunk_new_ : hunk_new_ + 1;
  text_.append("@@ -" + std::to_string(old_start) + "," + std::to_string(hunk_old_count_) + " +" +
               std::to_string(new_start) + "," + std::to_string(hunk_new_count_) + " @@\n");
  hunk_.drain([&](std::string_view bytes) { text_.append(bytes); });
  // What follows the shown context may open the next hunk.
  before_.clear();
  for (std::size_t i = std::max(after_.size(), kContext) - kContext; i < after_.size(); ++i) {
    before_.push_back(std::move(after_[i]));
  }
  after_.clear();
  open_ = false;
}

void LineDiff::old_lines_up_to(std::uint64_t origin) {
  Line old;
  while (old_left_ && old_read_ < origin) {
    if (!old_.next(old)) {
      old_left_ = false;
      break;
    }
    ++old_read_;
    if (old_read_ < origin) emit(Mark::removed, old.text);
  }
  if (old_read_ == origin && origin > 0) old_text_.assign(old.text);
}

void LineDiff::put(const Line& line) {
  if (line.origin == 0) {
    emit(Mark::added, line.text);
    return;
  }
  old_lines_up_to(line.origin);
  if (old_text_ == line.text) {
    emit(Mark::same, line.text);
  } else {
    emit(Mark::removed, old_text_);
    emit(Mark::added, line.text);
  }
}

bool LineDiff::finish(platform::Spool& out) {
  old_lines_up_to(UINT64_MAX);
  if (open_) close_hunk();
  if (!changed_) return false;
  out.append("--- " + path_ + "\n+++ " + path_ + "\n");
  text_.drain([&](std::string_view bytes) { out.append(bytes); });
  return true;
}

}  // namespace zeltrim
