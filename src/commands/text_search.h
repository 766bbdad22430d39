// A prepared search, and the restart-from-the-start replacement that .V and .U are defined by.
// Texts are bytes: no character set and no locale is consulted anywhere.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "lines/caseless.h"

namespace zeltrim {

// The key of a key=value line: what stands before its first "=", leading "=" skipped, or the
// whole line when it holds no other "=". Empty when there is none.
std::string_view assignment_key(std::string_view text);

// A text to look for, with the table that lets a search go on after a partial match without
// stepping back: prepared once for the many lines of a command, it finds occurrences in time
// linear in the text searched, whatever the two texts hold.
struct Pattern {
  std::string_view text;
  std::vector<std::size_t> border;  // border[i]: the longest proper border of text[0..i]
};
Pattern prepare_pattern(std::string_view text);

// Offset of the first occurrence of the pattern in `text` at or after `from`, or npos.
std::size_t find_pattern(std::string_view text, const Pattern& pattern, std::size_t from = 0);

enum class Replaced { none, changed, endless };

// What a value is to the text it replaces, prepared once for the many lines of a command.
struct Replacement {
  Pattern searched;
  std::string_view value;
  bool value_holds_searched;  // every replacement forms the text anew: it never ends
  bool value_shares_no_byte;  // no replacement can form an occurrence that was not there
};
Replacement prepare_replacement(std::string_view searched, std::string_view value);

// Replaces the first occurrence of the text (not empty) in `line` with the value, then searches
// again from the first byte, until none is left, and puts the result in `result`. `none` when
// the text does not occur; `endless` when more than `limit` replacements would be needed (the
// result is then unspecified). Linear in the bytes it reads and writes, whatever the texts.
Replaced replace_restarting(std::string_view line, const Replacement& replacement,
                            std::size_t limit, std::string& result);

// A .V that would need more replacements than this on one line never ends: the line is kept.
std::size_t varsub_limit(std::size_t line_length);

}  // namespace zeltrim
