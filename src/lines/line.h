// A line of a target while it is edited: a small value that views its text, which lives where
// the line was read or where a command made it. Lines know nothing of files, commands or the
// console.
#pragma once

#include <cstdint>
#include <string_view>

namespace zeltrim {

enum class LineKind : unsigned char {
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
  LineKind kind = LineKind::text;
  LineBreak line_break = LineBreak::usual;

  bool is_text() const { return kind == LineKind::text; }
};

}  // namespace zeltrim
