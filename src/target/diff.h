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
  // Ends the diff; false when the lines did not change (`out` then holds nothing).
  bool finish();

 private:
  enum class Mark : char { same = ' ', removed = '-', added = '+' };
  void old_lines_up_to(std::uint64_t origin);
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

  const std::string path_;
  platform::Spool& out_;
  TargetReader old_;
  bool old_left_ = true;        // the old content may have more lines
  std::uint64_t old_read_ = 0;  // old lines consumed
  Line old_line_;               // the last old line consumed, its text valid until the next
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
