// The diff: every new line knows which old line it came from (or that it was added), and old
// lines never change places, so the old and new contents line up as they are written; no search
// for a longest common part is needed, and memory does not grow with the file.
#include "target/diff.h"

namespace zeltrim {

namespace {
constexpr std::size_t kContext = 3;  // unchanged lines shown around each change
static_assert(2 * kContext < 7, "a gap that ends a hunk must fit among the unchanged lines held");
}  // namespace

void LineDiff::Unchanged::push(std::string_view text) {
  if (size_ == kMost) keep_last(kMost - 1);
  slots_[(first_ + size_) % kMost].assign(text);
  ++size_;
}

void LineDiff::Unchanged::keep_last(std::size_t count) {
  if (count >= size_) return;
  first_ = (first_ + size_ - count) % kMost;
  size_ = count;
}

LineDiff::LineDiff(Target& target, platform::Spool& out) : target_(target), out_(out) {
  // A hunk as long as the file goes to the diff without being copied.
  hunk_.share_file_with(out_);
}

void LineDiff::add_to_hunk(char sign, std::string_view text) {
  hunk_.append_parts({std::string_view(&sign, 1), text, "\n"});
}

void LineDiff::emit(Mark mark, std::string_view text) {
  if (mark == Mark::same) {
    unchanged_.push(text);
    // Before any change only the context of the next one is kept; after one, a gap too long to
    // join with the next change ends the hunk with its context.
    if (!open_) {
      unchanged_.keep_last(kContext);
    } else if (unchanged_.size() > 2 * kContext) {
      close_hunk();
    }
    ++old_count_;
    ++new_count_;
    return;
  }
  changed_ = true;
  if (!open_) {
    open_ = true;
    hunk_old_ = old_count_ - unchanged_.size();
    hunk_new_ = new_count_ - unchanged_.size();
    hunk_old_count_ = hunk_new_count_ = 0;
  }
  for (std::size_t at = 0; at < unchanged_.size(); ++at) add_to_hunk(' ', unchanged_[at]);
  hunk_old_count_ += unchanged_.size();
  hunk_new_count_ += unchanged_.size();
  unchanged_.keep_last(0);
  add_to_hunk(static_cast<char>(mark), text);
  if (mark == Mark::removed) {
    ++hunk_old_count_;
    ++old_count_;
  } else {
    ++hunk_new_count_;
    ++new_count_;
  }
}

void LineDiff::close_hunk() {
  std::size_t shown = std::min(unchanged_.size(), kContext);
  for (std::size_t at = 0; at < shown; ++at) add_to_hunk(' ', unchanged_[at]);
  hunk_old_count_ += shown;
  hunk_new_count_ += shown;
  // An empty side starts at the line before it.
  std::uint64_t old_start = hunk_old_count_ == 0 ? hunk_old_ : hunk_old_ + 1;
  std::uint64_t new_start = hunk_new_count_ == 0 ? hunk_new_ : hunk_new_ + 1;
  if (out_.empty()) out_.append("--- " + target_.path + "\n+++ " + target_.path + "\n");
  out_.append("@@ -" + std::to_string(old_start) + "," + std::to_string(hunk_old_count_) + " +" +
              std::to_string(new_start) + "," + std::to_string(hunk_new_count_) + " @@\n");
  out_.append_all(hunk_);
  // What follows the shown context may open the next hunk.
  unchanged_.keep_last(kContext);
  open_ = false;
}

// Nearly every line comes out of the commands while it is still where it was read: only a
// line that has not yet come out is copied.
void LineDiff::read(const Line& line) {
  fresh_ = line.text;
  fresh_origin_ = line.origin;
  last_read_ = line.origin;
}

void LineDiff::read_passed() {
  if (fresh_origin_ == 0) return;
  if (held_count_ == kHeldLines) {
    held_first_ = (held_first_ + 1) % kHeldLines;
    --held_count_;
  }
  Held& held = held_[(held_first_ + held_count_++) % kHeldLines];
  held.origin = fresh_origin_;
  held.text.assign(fresh_);
  fresh_origin_ = 0;
}

// The text of old line `origin`; false when there is no such line. Lines are asked for in order.
bool LineDiff::old_line(std::uint64_t origin, std::string_view& text) {
  for (; held_count_ > 0; held_first_ = (held_first_ + 1) % kHeldLines, --held_count_) {
    const Held& held = held_[held_first_];
    if (held.origin < origin) continue;
    if (held.origin > origin) break;
    text = held.text;  // its string stays until read_passed() holds another line
    held_first_ = (held_first_ + 1) % kHeldLines;
    --held_count_;
    return true;
  }
  if (fresh_origin_ == origin) {
    text = fresh_;
    fresh_origin_ = 0;
    return true;
  }
  // Every line was read and handed on: there is none past the last.
  if (last_read_ > 0 && origin > last_read_) return false;
  if (!again_) again_ = std::make_unique<TargetReader>(target_, true);
  for (; again_read_ < origin; ++again_read_) {
    if (!again_->next(again_line_)) return false;
  }
  text = again_line_.text;
  return true;
}

bool LineDiff::next_old_is(std::string_view text) {
  std::string_view old;
  if (!old_left_) return false;
  if (!old_line(next_old_, old)) {
    old_left_ = false;
    return false;
  }
  return old == text;
}

void LineDiff::old_lines_up_to(std::uint64_t origin) {
  for (; old_left_ && next_old_ <= origin; ++next_old_) {
    std::string_view text;
    if (!old_line(next_old_, text)) {
      old_left_ = false;
      break;
    }
    if (next_old_ < origin) {
      emit(Mark::removed, text);
    } else {
      old_text_ = text;
    }
  }
}

void LineDiff::put(const Line& line) {
  if (line.origin == 0) {
    // A file started afresh keeps none of its old lines: a new line equal to the next old one
    // stands for it, so that the same content written again shows no change.
    if (target_.naming == Naming::created && next_old_is(line.text)) {
      ++next_old_;
      emit(Mark::same, line.text);
    } else {
      emit(Mark::added, line.text);
    }
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

bool LineDiff::finish() {
  old_lines_up_to(UINT64_MAX);
  if (open_) close_hunk();
  return changed_;
}

}  // namespace zeltrim
