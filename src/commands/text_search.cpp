#include "commands/text_search.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace zeltrim {

std::size_t varsub_limit(std::size_t line_length) {
  // No real line needs more than one replacement per byte; a value that keeps forming the
  // variable anew would go on for ever, so it is stopped well past that.
  constexpr std::size_t kReplacementsPerByte = 8;
  constexpr std::size_t kReplacementsAtLeast = 64;
  return kReplacementsPerByte * line_length + kReplacementsAtLeast;
}

std::string_view assignment_key(std::string_view text) {
  std::size_t start = text.find_first_not_of('=');
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find('=', start) - start);
}

Pattern prepare_pattern(std::string_view text) {
  Pattern pattern{text, std::vector<std::size_t>(text.size(), 0)};
  for (std::size_t i = 1, k = 0; i < text.size(); ++i) {
    while (k > 0 && text[i] != text[k]) k = pattern.border[k - 1];
    if (text[i] == text[k]) ++k;
    pattern.border[i] = k;
  }
  return pattern;
}

namespace {
// The number of bytes of the pattern matched once `byte` follows `matched` matched bytes.
std::size_t step(const Pattern& pattern, std::size_t matched, char byte) {
  while (matched > 0 && pattern.text[matched] != byte) matched = pattern.border[matched - 1];
  return pattern.text[matched] == byte ? matched + 1 : matched;
}
}  // namespace

std::size_t find_pattern(std::string_view text, const Pattern& pattern, std::size_t from) {
  const std::size_t m = pattern.text.size();
  if (from > text.size()) return std::string_view::npos;
  if (m == 0) return from;
  const char first = pattern.text[0];
  std::size_t matched = 0;
  for (std::size_t at = from; at < text.size();) {
    if (matched == 0) {
      // Nothing is matched: only the pattern's first byte can start an occurrence.
      const void* hit = std::memchr(text.data() + at, first, text.size() - at);
      if (hit == nullptr) break;
      at = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) + 1;
      matched = 1;
    } else {
      matched = step(pattern, matched, text[at++]);
    }
    if (matched == m) return at - m;
  }
  return std::string_view::npos;
}

Replacement prepare_replacement(std::string_view searched, std::string_view value) {
  Pattern pattern = prepare_pattern(searched);
  bool holds = !searched.empty() && find_pattern(value, pattern) != std::string_view::npos;
  // A value that shares no byte with the text cannot be part of any occurrence, so no
  // replacement forms a new one.
  bool shares_none = !value.empty() && value.find_first_of(searched) == std::string_view::npos;
  return {std::move(pattern), value, holds, shares_none};
}

Replaced replace_restarting(std::string_view line, const Replacement& replacement,
                            std::size_t limit, std::string& result) {
  const Pattern& searched = replacement.searched;
  std::string_view value = replacement.value;
  const std::size_t m = searched.text.size();
  std::size_t found = m == 0 ? std::string_view::npos : find_pattern(line, searched);
  if (found == std::string_view::npos) return Replaced::none;
  // A value that holds the text is replaced again and again, whatever the line.
  if (replacement.value_holds_searched) return Replaced::endless;

  // Where no replacement forms a new occurrence, every occurrence there is, from left to right,
  // is replaced once, exactly as the restart rule would.
  if (replacement.value_shares_no_byte) {
    result.clear();
    // Space for the longest result there can be, up to twice the line: untouched space costs
    // nothing, and a long line grown step by step would be copied again and again.
    std::size_t most =
        value.size() <= m ? line.size() : line.size() + line.size() / m * (value.size() - m);
    result.reserve(std::min(most, 2 * line.size()));
    std::size_t done = 0;
    std::size_t replacements = 0;
    for (std::size_t at = found; at != std::string_view::npos;
         at = find_pattern(line, searched, done)) {
      if (++replacements > limit) return Replaced::endless;
      result.append(line.substr(done, at - done)).append(value);
      done = at + m;
    }
    result.append(line.substr(done));
    return Replaced::changed;
  }

  // The result is built as a stack of bytes that holds no occurrence. An occurrence is found the
  // moment its last byte is pushed; it is popped, and the value is read next, ahead of whatever
  // was still to be read. Since the bytes before a replacement held no occurrence, the next one
  // found this way is the first one of the whole new line: exactly the restart rule, without
  // rescanning from the start. What is still to be read is, in order: the rest of the value being
  // read, the unread rests of earlier values (last one first), and the rest of the line.
  std::string_view value_left;
  std::string earlier_values_left;  // reversed
  std::string_view line_left = line;
  const char first = searched.text[0];
  std::size_t matched = 0;  // bytes of `searched` that end the result
  std::size_t replacements = 0;
  result.clear();
  result.reserve(line.size());
  for (;;) {
    std::string_view* source = !value_left.empty() ? &value_left : &line_left;
    char byte;
    if (value_left.empty() && !earlier_values_left.empty()) {
      byte = earlier_values_left.back();
      earlier_values_left.pop_back();
    } else if (!source->empty()) {
      if (matched == 0) {
        // Bytes before the next possible start of an occurrence go over as they are.
        std::size_t keep = std::min(source->find(first), source->size());
        result.append(source->substr(0, keep));
        source->remove_prefix(keep);
        if (source->empty()) continue;
      }
      byte = source->front();
      source->remove_prefix(1);
    } else {
      break;
    }
    matched = step(searched, matched, byte);
    result.push_back(byte);
    if (matched < m) continue;

    if (++replacements > limit) return Replaced::endless;
    result.resize(result.size() - m);
    // What the bytes in front of the occurrence match lies within their last m - 1 bytes.
    std::size_t from = result.size() - std::min(result.size(), m - 1);
    std::string_view kept = std::string_view(result).substr(from);
    matched = std::accumulate(
        kept.begin(), kept.end(), std::size_t{0},
        [&](std::size_t so_far, char byte) { return step(searched, so_far, byte); });
    earlier_values_left.append(value_left.rbegin(), value_left.rend());
    value_left = value;
  }
  return Replaced::changed;
}

}  // namespace zeltrim
