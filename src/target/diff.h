// Inside the target room: the change to a target's lines as a unified diff, built as the new
// lines are written, against the old lines read again beside them.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "platform/spool.h"
#include "target/target_file.h"

namespace zeltrim {

class LineDiff {
 public:
  explicit LineDiff(Target& target);

  // The next line of the new content, in order.
  void put(const Line& line);
  // Writes the diff to `out`; false when the lines did not change.
  bool finish(platform::Spool& out);

 private:
  enum class Mark : char { same = ' ', removed = '-', added = '+' };
  void old_lines_up_to(std::uint64_t origin);
  void emit(Mark mark, std::string_view text);
  void close_hunk();

  const std::string path_;
  TargetReader old_;
  bool old_left_ = true;        // the old content may have more lines
  std::uint64_t old_read_ = 0;  // old lines consumed
  std::string old_text_;        // the text of the last old line consumed
  std::uint64_t old_line_ = 0;  // old and new lines passed so far, in the diff's count
  std::uint64_t new_line_ = 0;
  bool changed_ = false;
  platform::Spool text_;  // every hunk, once closed

  // The open hunk: where it starts, what it counts, its lines.
  bool open_ = false;
  std::uint64_t hunk_old_ = 0;
  std::uint64_t hunk_new_ = 0;
  std::uint64_t hunk_old_count_ = 0;
  std::uint64_t hunk_new_count_ = 0;
  platform::Spool hunk_;
  std::deque<std::string> before_;  // unchanged lines before a change that may come
  std::deque<std::string> after_;   // unchanged lines since the last change of the open hunk
};

}  // namespace zeltrim
