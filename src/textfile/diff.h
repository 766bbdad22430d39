// The change to a target as a unified diff, built as the new lines are written, against the old
// lines read beside them. For plain and UTF-8 text it is a patch of the file's bytes, its lines
// cut after each LF as patch reads them; UTF-16 and UTF-32 text is shown as UTF-8 lines.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/spool.h"
#include "textfile/target_file.h"

namespace zeltrim {

class LineDiff {
 public:
  // The diff goes to `out`, which must outlive it.
  LineDiff(platform::Disk& disk, Target& target, const TargetOptions& options,
           platform::Spool& out);

  // The next line of the new content, in order: the break it is written with, and the break the
  // line before it gained because this one follows (none where it had one).
  void put(const Line& line, LineBreak gained_before, LineBreak written);
  // A line of the old content as it is read, in order, before the new lines made of it come:
  // its text is looked at where it stands until the reader reads on (read_on, before every
  // read: nothing to do where no line is waiting), then held a little while, so that it need
  // not be read again.
  void read(const Line& line);
  void read_on();
  // Ends the diff: `old_form` is how the old content ended, `end` the bytes written after the
  // last line, `empty` true when the new file holds nothing at all.
  DiffSummary finish(const FileForm& old_form, std::string_view end, bool empty);

 private:
  enum class Mark : char { same = ' ', removed = '-', added = '+' };
  void begin(bool empty);
  void old_lines_up_to(std::uint64_t origin);
  bool old_line(std::uint64_t origin, Line& line);
  bool next_old(Line& line);

  // The bytes of both contents, in order: the same in both, or only on one side. They are cut
  // into the diff's lines after each LF.
  void same(std::string_view text, std::string_view line_break);
  void one_side(Mark mark, std::string_view text, std::string_view line_break = {});
  std::string_view shown(std::string_view text);
  void end_lines(std::string_view line_break);
  void old_bytes_removed(std::uint64_t at, std::uint64_t size);

  void emit(Mark mark, std::string_view text, std::string_view line_break);
  void close_hunk();

  // The newest few of what passes, oldest first. A slot is used again as it is: a string in it
  // keeps its capacity, since nearly every line passes through here.
  template <typename T, std::size_t kMost>
  class Newest {
   public:
    std::size_t size() const { return size_; }
    T& operator[](std::size_t at) { return slots_[(first_ + at) % kMost]; }
    // The slot after the newest; when every slot is taken, the oldest makes way.
    T& push() {
      if (size_ == kMost) keep_last(kMost - 1);
      return (*this)[size_++];
    }
    void keep_last(std::size_t count) {
      if (count >= size_) return;
      first_ = (first_ + size_ - count) % kMost;
      size_ = count;
    }

   private:
    std::array<T, kMost> slots_;
    std::size_t first_ = 0;
    std::size_t size_ = 0;
  };

  platform::Disk& disk_;
  Target& target_;
  const TargetOptions& options_;
  platform::Spool& out_;
  bool bytes_;  // a patch of the file's bytes (plain and UTF-8), else UTF-8 lines
  bool begun_ = false;
  bool raw_old_ = false;  // the old content does not read as lines: it goes whole, as bytes
  // Old lines as they were read, the newest few; a line that is gone from here by the time it
  // is needed is read again from the file.
  struct Held {
    std::uint64_t origin = 0;
    std::string text;
    LineBreak line_break = LineBreak::none;
  };
  static constexpr std::size_t kHeldLines = 64;
  Newest<Held, kHeldLines> held_;
  std::uint64_t last_read_ = 0;  // the last old line handed to read(); none: 0
  // The line last handed to read(), until its new line took it or read_on() held it (origin 0).
  Line fresh_;
  std::unique_ptr<TargetReader> again_;
  Line again_line_;             // the line `again_` read last
  bool old_left_ = true;        // the old content may have more lines
  std::uint64_t next_old_ = 1;  // the next old line to pass
  Line old_;                    // the old line passed last, valid within put()
  std::string wide_text_;       // a line of UTF-16 or UTF-32 text as UTF-8

  // The diff's lines not yet ended by an LF, on each side, and whether the two sides differ
  // since they last ended a line together.
  std::string old_partial_;
  std::string new_partial_;
  bool apart_ = false;

  std::uint64_t old_count_ = 0;  // old and new lines passed so far, in the diff's count
  std::uint64_t new_count_ = 0;
  DiffSummary summary_;

  // The open hunk: where it starts, its lines; the added lines of the change being made wait
  // until its removed lines are in.
  bool open_ = false;
  std::uint64_t hunk_old_ = 0;
  std::uint64_t hunk_new_ = 0;
  platform::Spool hunk_{disk_};
  platform::Spool added_{disk_};
  std::string header_;  // the hunk's header, made in place: a diff may have one every few lines
  // Unchanged lines since the last change.
  static constexpr std::size_t kContext = 3;  // unchanged lines shown around each change
  // A gap that ends a hunk must fit among the unchanged lines held.
  static constexpr std::size_t kUnchangedLines = 2 * kContext + 1;
  Newest<std::string, kUnchangedLines> unchanged_;
};

}  // namespace zeltrim
