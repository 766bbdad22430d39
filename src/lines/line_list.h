// The lines of a target while it is edited, in file order, and the storage their texts live in.
// A line is a small value that views its text; the store owns the bytes. This room knows
// nothing of files, commands or the console.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string_view>
#include <vector>

namespace zeltrim {

enum class EntryKind : unsigned char {
  text,   // an ordinary line
  blank,  // an empty line as the file was read; never matches a search
};

// What ended a line in the file: kept as it was where the file keeps its own form.
enum class LineBreak : unsigned char {
  usual,  // the break most lines of the file have: what an added line takes
  cr_lf,
  lf,
  cr,     // a lone CR (a blank last line of a plain file, or any line of an encoded one)
  cr_cr,  // two CRs and nothing else: a blank last line of a plain file
  none,   // the last line, when the file ends without a break
};

struct Line {
  std::string_view text;
  std::uint64_t origin = 0;  // its number in the file as read, from 1; 0 for a line added
  EntryKind kind = EntryKind::text;
  LineBreak line_break = LineBreak::usual;
  // The text lives in a command's work buffer, valid only until that command takes its next
  // line: whoever keeps the line must keep a copy of the text.
  bool borrowed = false;

  bool is_text() const { return kind == EntryKind::text; }
};

// A line a command adds.
inline Line added_line(std::string_view text) {
  return {text, 0, EntryKind::text, LineBreak::usual, false};
}

// A double-ended queue, so that a line added at the top costs no more than one at the bottom.
using LineList = std::deque<Line>;

// Owns the bytes that lines view: whole blocks read from a file, and copies of texts that
// commands make. Nothing it hands out moves or goes away before the store does.
class TextStore {
 public:
  // Keeps a block of bytes, of which the first `size` are in use, and views them.
  std::string_view adopt(std::unique_ptr<char[]> block, std::size_t size);

  // A copy of `text` that lives as long as the store.
  std::string_view keep(std::string_view text);

  // The line with a text the store owns (a borrowed text is copied).
  Line kept(Line line);

 private:
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* free_ = nullptr;  // unused room at the end of the last small block
  std::size_t free_size_ = 0;
  std::size_t block_size_ = kFirstSmallBlock / 2;  // of the last small block

  static constexpr std::size_t kFirstSmallBlock = 1 << 10;
};

}  // namespace zeltrim
