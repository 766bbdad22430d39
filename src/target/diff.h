// Inside the target room: the change to a target's lines as a unified diff, built as the new
// lines are written, against the old lines read again beside them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/spool.h"
#include "target/target_file.h"

namespace zeltrim {

class LineDiff {
 public:
  // The diff goes to `out`, which must outlive it.
  LineDiff(Target& target, platform::Spool& out);

  // The next line of the new content, in order.
  void put(const Line& line);
  // A line of the old content as it is read, in order, before the new lines made of it come:
  // its text is looked at where it stands until read_passed(), then held a little while, so
  // that it need not be read again.
  void read(const Line& line);
  void read_passed();
  // Ends the diff; false when the lines did not change (`out` then holds nothing).
  bool finish();

 private:
  enum class Mark : char { same = ' ', removed = '-', added = '+' };
  void old_lines_up_to(std::uint64_t origin);
  bool old_line(std::uint64_t origin, std::string_view& text);
  bool next_old_is(std::string_view text);
  void emit(Mark mark, std::string_view text);
  void add_to_hunk(char sign, std::string_view text);
  void close_hunk();

  // Unchanged lines since the last change, the newest few: each kept in a string that keeps
  // its room, since nearly every line passes through here.
  class Unchanged {
   public:
    static constexpr std::size_t kMost = 7;
    std::size_t size() const { return size_; }
    const std::string& operator[](std::size_t at) const { return slots_[(first_ + at) % kMost]; }
    void push(std::string_view text);
    void keep_last(std::size_t count);

   private:
    std::array<std::string, kMost> slots_;
    std::size_t first_ = 0;
    std::size_t size_ = 0;
  };

  Target& target_;
  platform::Spool& out_;
  // Old lines as they were read, the newest few; a line that is gone from here by the time it
  // is needed is read again from the file.
  struct Held {
    std::uint64_t origin = 0;
    std::string text;
  };
  static constexpr std::size_t kHeldLines = 64;
  std::array<Held, kHeldLines> held_;
  std::size_t held_first_ = 0;
  std::size_t held_count_ = 0;
  std::uint64_t last_read_ = 0;  // the last old line handed to read(); none: 0
  // The line last handed to read(), until its new line took it or read_passed() held it.
  std::string_view fresh_;
  std::uint64_t fresh_origin_ = 0;  // none: 0
  std::unique_ptr<TargetReader> again_;
  std::uint64_t again_read_ = 0;
  Line again_line_;
  bool old_left_ = true;         // the old content may have more lines
  std::uint64_t next_old_ = 1;   // the next old line to pass
  std::string_view old_text_;    // the text of the old line passed last, valid within put()
  std::uint64_t old_count_ = 0;  // old and new lines passed so far, in the diff's count
  std::uint64_t new_count_ = 0;
  bool changed_ = false;

  // The open hunk: where it starts, what it counts, its lines.
  bool open_ = false;
  std::uint64_t hunk_old_ = 0;
  std::uint64_t hunk_new_ = 0;
  std::uint64_t hunk_old_count_ = 0;
  std::uint64_t hunk_new_count_ = 0;
  platform::Spool hunk_;
  Unchanged unchanged_;
};

}  // namespace zeltrim
