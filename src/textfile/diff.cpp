// The diff: every new line knows which old line it came from (or that it was added), and old
// lines never change places, so the old and new contents line up as they are written; no search
// for a longest common part is needed, and memory does not grow with the file.
#include "textfile/diff.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iterator>

#include "textfile/encoding.h"

namespace zeltrim {

namespace {
// What follows a last line that has no LF, as patch reads it.
constexpr std::string_view kNoNewline = "\n\\ No newline at end of file\n";
constexpr std::string_view kNewFile = "/dev/null";
constexpr std::size_t kTailPiece = std::size_t{64} * 1024;

bool needs_quotes(unsigned char byte) {
  return byte == ' ' || byte == '"' || byte == '\\' || byte < 0x20 || byte == 0x7F;
}

// A path as a diff's header names it: in double quotes with C escapes where it holds a space, a
// tab, a double quote, a backslash or another control byte.
std::string quoted_path(std::string_view path) {
  if (std::ranges::none_of(path, needs_quotes)) return std::string(path);
  // Each of these bytes is written as a backslash and the letter below it.
  constexpr std::string_view kEscaped = "\"\\\t\n\r";
  constexpr std::string_view kEscapes = "\"\\tnr";
  std::string quoted = "\"";
  for (char byte : path) {
    auto value = static_cast<unsigned char>(byte);
    if (std::size_t at = kEscaped.find(byte); at != std::string_view::npos) {
      quoted.append({'\\', kEscapes[at]});
    } else if (value < 0x20 || value == 0x7F) {
      char octal[5];
      std::snprintf(octal, sizeof octal, "\\%03o", value);
      quoted.append(octal);
    } else {
      quoted.push_back(byte);
    }
  }
  return quoted.append("\"");
}

// One side of a hunk's header: it starts at its first line, an empty one at the line before it;
// a side of one line gives its start alone, as diff writes it.
void append_range(std::string& header, std::uint64_t before, std::uint64_t count) {
  char digits[24];
  header.append(digits,
                std::to_chars(digits, std::end(digits), count == 0 ? before : before + 1).ptr);
  if (count == 1) return;
  header.push_back(',');
  header.append(digits, std::to_chars(digits, std::end(digits), count).ptr);
}
}  // namespace

LineDiff::LineDiff(platform::Disk& disk, Target& target, const TargetOptions& options,
                   platform::Spool& out)
    : disk_(disk),
      target_(target),
      options_(options),
      out_(out),
      bytes_(unit_size(target.kind) == 1) {
  // A hunk as long as the file goes to the diff without being copied.
  hunk_.share_file_with(out_);
  added_.share_file_with(out_);
}

// One line of the diff: `text` and `line_break` together end with an LF (the no-newline note
// ends an incomplete one).
void LineDiff::emit(Mark mark, std::string_view text, std::string_view line_break) {
  if (mark == Mark::same) {
    hunk_.append_all(added_);
    unchanged_.push().assign(text).append(line_break);
    ++old_count_;
    ++new_count_;
    // Before any change only the context of the next one is kept; after one, a gap too long to
    // join with the next change ends the hunk with its context.
    if (!open_) {
      unchanged_.keep_last(kContext);
    } else if (unchanged_.size() > 2 * kContext) {
      close_hunk();
    }
    return;
  }
  if (!open_) {
    open_ = true;
    hunk_old_ = old_count_ - unchanged_.size();
    hunk_new_ = new_count_ - unchanged_.size();
  }
  for (std::size_t at = 0; at < unchanged_.size(); ++at) hunk_.append_parts({" ", unchanged_[at]});
  unchanged_.keep_last(0);
  if (mark == Mark::removed) {
    hunk_.append_parts({"-", text, line_break});
    ++old_count_;
  } else {
    // The added lines of a change follow its removed ones, as diff writes them.
    added_.append_parts({"+", text, line_break});
    ++new_count_;
  }
}

void LineDiff::close_hunk() {
  hunk_.append_all(added_);
  std::size_t context = std::min(unchanged_.size(), kContext);
  for (std::size_t at = 0; at < context; ++at) hunk_.append_parts({" ", unchanged_[at]});
  // Every line passed since the hunk began is in it, but the unchanged ones past its context.
  std::uint64_t hunk_old_count = old_count_ - unchanged_.size() + context - hunk_old_;
  std::uint64_t hunk_new_count = new_count_ - unchanged_.size() + context - hunk_new_;
  if (out_.empty()) {
    std::string name = quoted_path(target_.path);
    out_.append("--- " + (target_.made ? std::string(kNewFile) : name) + "\n+++ " + name + "\n");
  }
  header_.assign("@@ -");
  append_range(header_, hunk_old_, hunk_old_count);
  header_.append(" +");
  append_range(header_, hunk_new_, hunk_new_count);
  out_.append(header_.append(" @@\n"));
  out_.append_all(hunk_);
  // What follows the shown context may open the next hunk.
  unchanged_.keep_last(kContext);
  open_ = false;
}

// Bytes of one side only, cut after each LF: a line that ends here is a changed line, and the
// two sides are together again once neither holds part of a line.
void LineDiff::one_side(Mark mark, std::string_view text, std::string_view line_break) {
  if (!bytes_) return emit(mark, shown(text), "\n");
  std::string& partial = mark == Mark::removed ? old_partial_ : new_partial_;
  const std::string& other = mark == Mark::removed ? new_partial_ : old_partial_;
  // A line's text never holds an LF: only its break may end a line of the diff.
  if (partial.empty() && line_break.ends_with('\n')) {
    emit(mark, text, line_break);
    apart_ = !other.empty();
    return;
  }
  for (std::string_view bytes : {text, line_break}) {
    for (std::size_t lf = bytes.find('\n'); lf != std::string_view::npos; lf = bytes.find('\n')) {
      partial.append(bytes.substr(0, lf + 1));
      bytes.remove_prefix(lf + 1);
      emit(mark, partial, {});
      partial.clear();
      apart_ = !other.empty();
    }
    if (!bytes.empty()) {
      partial.append(bytes);
      apart_ = true;
    }
  }
}

// A line of UTF-16 or UTF-32 text as the diff shows it: UTF-8, whatever the file holds.
std::string_view LineDiff::shown(std::string_view text) {
  if (options_.unicode) return text;
  wide_text_.resize(2 * text.size());
  char* out = wide_text_.data();
  for (char byte : text) put_utf8(static_cast<unsigned char>(byte), out);
  wide_text_.resize(static_cast<std::size_t>(out - wide_text_.data()));
  return wide_text_;
}

void LineDiff::same(std::string_view text, std::string_view line_break) {
  if (!bytes_) return emit(Mark::same, shown(text), "\n");
  if (!apart_ && old_partial_.empty() && line_break.ends_with('\n')) {
    return emit(Mark::same, text, line_break);
  }
  for (std::string_view bytes : {text, line_break}) {
    for (std::size_t lf = bytes.find('\n'); lf != std::string_view::npos; lf = bytes.find('\n')) {
      old_partial_.append(bytes.substr(0, lf + 1));
      new_partial_.append(bytes.substr(0, lf + 1));
      bytes.remove_prefix(lf + 1);
      end_lines({});
    }
    old_partial_.append(bytes);
    new_partial_.append(bytes);
  }
}

// The lines each side holds part of end here, with `line_break` (an LF is in them already, or
// the last lines end without one): one line of both sides unless the two came apart.
void LineDiff::end_lines(std::string_view line_break) {
  if (!apart_ && !old_partial_.empty()) {
    emit(Mark::same, old_partial_, line_break);
  } else {
    if (!old_partial_.empty()) emit(Mark::removed, old_partial_, line_break);
    if (!new_partial_.empty()) emit(Mark::added, new_partial_, line_break);
  }
  old_partial_.clear();
  new_partial_.clear();
  apart_ = false;
}

// The byte-order mark belongs to the first line. The old content of a file started afresh
// was never read as lines: where it cannot be (a zero byte, say), all of it goes as bytes.
void LineDiff::begin(bool empty) {
  begun_ = true;
  if (target_.naming == Naming::created && !target_.made && target_.original.is_open()) {
    TargetReader reader(disk_, target_, options_, true);
    reader.read_through();
    raw_old_ = reader.result() != LoadResult::loaded;
    old_left_ = !raw_old_;
  }
  if (!bytes_) return;
  bool had_mark = !target_.made && target_.original.is_open() && !raw_old_;
  std::string_view old_mark = had_mark ? mark_of(target_.kind) : "";
  std::string_view new_mark = empty ? "" : mark_of(target_.kind);
  if (old_mark == new_mark) {
    same(old_mark, {});
  } else {
    one_side(Mark::removed, old_mark);
    one_side(Mark::added, new_mark);
  }
}

// Nearly every line comes out of the commands while it is still where it was read: only a
// line that has not yet come out is copied.
void LineDiff::read(const Line& line) {
  fresh_ = line;
  last_read_ = line.origin;
}

void LineDiff::read_on() {
  if (fresh_.origin == 0) return;
  Held& held = held_.push();
  held.origin = fresh_.origin;
  held.text.assign(fresh_.text);
  held.line_break = fresh_.line_break;
  fresh_.origin = 0;
}

// Old line `origin`; false when there is no such line. Lines are asked for in order.
bool LineDiff::old_line(std::uint64_t origin, Line& line) {
  for (; held_.size() > 0; held_.keep_last(held_.size() - 1)) {
    const Held& held = held_[0];
    if (held.origin < origin) continue;
    if (held.origin > origin) break;
    // Its string stays until read_on() holds another.
    line = {held.text, origin, LineKind::text, held.line_break};
    held_.keep_last(held_.size() - 1);
    return true;
  }
  if (fresh_.origin == origin) {
    line = fresh_;
    fresh_.origin = 0;
    return true;
  }
  // Every line was read and handed on: there is none past the last.
  if (last_read_ > 0 && origin > last_read_) return false;
  if (!again_) again_ = std::make_unique<TargetReader>(disk_, target_, options_, true);
  while (again_line_.origin < origin) {
    if (!again_->next(again_line_)) return false;
  }
  line = again_line_;
  return true;
}

// The next old line to pass; false once there is none.
bool LineDiff::next_old(Line& line) {
  old_left_ = old_left_ && old_line(next_old_, line);
  return old_left_;
}

void LineDiff::old_lines_up_to(std::uint64_t origin) {
  for (Line line; next_old_ <= origin && next_old(line); ++next_old_) {
    if (next_old_ == origin) {
      old_ = line;
    } else {
      summary_.lines_changed = true;
      one_side(Mark::removed, line.text, break_text(line.line_break));
    }
  }
}

void LineDiff::put(const Line& line, LineBreak gained_before, LineBreak written) {
  if (!begun_) begin(false);
  // The break the line before gained, if any (nearly always none).
  if (std::string_view gained = break_text(gained_before); bytes_ && !gained.empty()) {
    one_side(Mark::added, {}, gained);
  }
  if (line.origin != 0) {
    old_lines_up_to(line.origin);
  } else if (target_.naming == Naming::created && next_old(old_) && old_.text == line.text) {
    // A file started afresh keeps none of its old lines: a new line equal to the next old one
    // stands for it, so that the same content written again shows no change.
    ++next_old_;
  } else {
    summary_.lines_changed = true;
    return one_side(Mark::added, line.text, break_text(written));
  }
  // The old line and the new line it became.
  if (old_.line_break != written) summary_.form_changed = true;
  if (old_.text != line.text) summary_.lines_changed = true;
  if (old_.text == line.text && (!bytes_ || old_.line_break == written)) {
    return same(line.text, break_text(written));
  }
  one_side(Mark::removed, old_.text, break_text(old_.line_break));
  one_side(Mark::added, line.text, break_text(written));
}

// Old bytes from `at`, `size` of them (or to the end), gone from the new content. Shown as
// UTF-8 lines, they are cut after each LF as a patch's lines are.
void LineDiff::old_bytes_removed(std::uint64_t at, std::uint64_t size) {
  std::string line;  // the bytes since the last LF, where the diff shows lines as UTF-8
  // What cannot be read is not shown.
  static_cast<void>(platform::read_range(
      disk_, target_.original, at, size, kTailPiece, [this, &line](std::string_view bytes) {
        if (bytes_) {
          one_side(Mark::removed, bytes);
          return platform::Status();
        }
        for (std::size_t lf = bytes.find('\n'); lf != std::string_view::npos;
             lf = bytes.find('\n')) {
          emit(Mark::removed, shown(line.append(bytes.substr(0, lf))), "\n");
          line.clear();
          bytes.remove_prefix(lf + 1);
        }
        line.append(bytes);
        return platform::Status();
      }));
  if (!line.empty()) emit(Mark::removed, shown(line), "\n");
}

DiffSummary LineDiff::finish(const FileForm& old_form, std::string_view end, bool empty) {
  if (!begun_) begin(empty);
  old_lines_up_to(UINT64_MAX);
  bool old_content = !target_.made && target_.original.is_open();
  if (raw_old_) {
    summary_.lines_changed = true;
    old_bytes_removed(0, UINT64_MAX);
    if (bytes_) one_side(Mark::added, end);  // UTF-8 lines show no end, as below
  } else if (bytes_) {
    // What follows the last line: the end mark, and where the file keeps its own form, all
    // that followed a line that begins with it.
    std::uint64_t size = old_content ? old_form.tail_size : 0;
    std::string old_end;  // what cannot be read differs
    if (size == end.size()) {
      static_cast<void>(platform::read_range(disk_, target_.original, old_form.tail_at, size,
                                             kTailPiece, [&old_end](std::string_view bytes) {
                                               old_end.append(bytes);
                                               return platform::Status();
                                             }));
    }
    if (size == end.size() && old_end == end) {
      same(end, {});
    } else {
      summary_.form_changed = summary_.form_changed || size > 0 || old_count_ > 0;
      old_bytes_removed(old_form.tail_at, size);
      one_side(Mark::added, end);
    }
  } else if (old_content && (old_form.tail_size > 0 || old_form.end_mark_byte) == end.empty()) {
    // The old content ended with an end mark and the new one does not, or the other way round.
    summary_.form_changed = true;
  }
  if (bytes_) end_lines(kNoNewline);  // the raw old content too: it is only read as bytes
  if (open_) close_hunk();
  summary_.as_text = !bytes_;
  return summary_;
}

}  // namespace zeltrim
