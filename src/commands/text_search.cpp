#include "commands/text_search.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace zeltrim {

long long find_text(std::string_view text, std::string_view pattern, long long start) {
  long long length = static_cast<long long>(text.size());
  if (pattern.size() > text.size() || start < 1 || start > length) return 0;
  std::size_t found = text.find(pattern, static_cast<std::size_t>(start - 1));
  return found == std::string_view::npos ? 0 : static_cast<long long>(found) + 1;
}

std::string mid_text(std::string_view text, long long start, long long count, char fill) {
  long long length = static_cast<long long>(text.size());
  if (start < 1 || count == 0 || count < -1) return {};
  if (count == -1) {
    if (start > length) return {};
    count = length - start + 1;
  }
  std::string piece;
  if (start <= length) {
    piece.assign(text.substr(static_cast<std::size_t>(start - 1),
                             static_cast<std::size_t>(std::min(count, length - start + 1))));
  }
  if (fill != '\0') piece.append(static_cast<std::size_t>(count) - piece.size(), fill);
  return piece;
}

namespace {
char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool caseless_equal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

Replaced replace_restarting(std::string_view line, std::string_view searched,
                            std::string_view value, std::size_t limit, std::string& result) {
  if (searched.empty() || line.find(searched) == std::string_view::npos) return Replaced::none;

  // The result is built as a stack of bytes that holds no occurrence, each byte with the
  // matcher's state after it. An occurrence is found the moment its last byte is pushed; it is
  // popped, which restores the state in front of it, and the value is read next, ahead of the
  // rest of the line. Since the bytes before a replacement held no occurrence, the next one
  // found this way is the first one of the whole new line: exactly the restart rule, without
  // rescanning from the start.
  const std::size_t m = searched.size();
  std::vector<std::uint32_t> border(m, 0);  // longest proper border of searched[0..i]
  for (std::size_t i = 1, k = 0; i < m; ++i) {
    while (k > 0 && searched[i] != searched[k]) k = border[k - 1];
    if (searched[i] == searched[k]) ++k;
    border[i] = static_cast<std::uint32_t>(k);
  }

  result.clear();
  result.reserve(line.size());
  std::vector<std::uint32_t> state_after;
  state_after.reserve(line.size());
  std::string pending;  // bytes to read before the rest of the line, last one first
  std::size_t next_in_line = 0;
  std::size_t replacements = 0;
  for (;;) {
    char byte;
    if (!pending.empty()) {
      byte = pending.back();
      pending.pop_back();
    } else if (next_in_line < line.size()) {
      byte = line[next_in_line++];
    } else {
      break;
    }
    std::size_t state = state_after.empty() ? 0 : state_after.back();
    while (state > 0 && searched[state] != byte) state = border[state - 1];
    if (searched[state] == byte) ++state;
    result.push_back(byte);
    state_after.push_back(static_cast<std::uint32_t>(state));
    if (state == m) {
      if (++replacements > limit) return Replaced::endless;
      result.resize(result.size() - m);
      state_after.resize(state_after.size() - m);
      pending.append(value);  // then reversed in place: no temporary string per replacement
      std::reverse(pending.end() - static_cast<std::ptrdiff_t>(value.size()), pending.end());
    }
  }
  return Replaced::changed;
}

}  // namespace zeltrim
