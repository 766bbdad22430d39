// Letters compared without regard to case: the ASCII letters A to Z alone, and no locale, so that
// a byte means the same whatever language the system speaks. Every caseless compare of the
// program is made of these.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zeltrim {

inline char upper_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c; }
inline char lower_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c; }

// Equal when the ASCII letters are compared without regard to case; all other bytes must match.
// Inline: .R and .C/.E ask it of every line.
inline bool caseless_equal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && lower_ascii(a[i]) != lower_ascii(b[i])) return false;
  }
  return true;
}

// A copy of `text` with its capitals in lower case.
inline std::string lowered_ascii(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), lower_ascii);
  return lower;
}

// Eight bytes at once with their capitals in lower case, as lower_ascii makes each: a byte gets
// 0x20 where, below 0x80, it is at least 'A' and not past 'Z'. No byte carries into the next.
inline std::uint64_t lower_ascii_word(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  std::uint64_t low = word & (0x7f * kOnes);
  std::uint64_t from_a = low + (0x80 - 'A') * kOnes;
  std::uint64_t past_z = low + (0x80 - 'Z' - 1) * kOnes;
  std::uint64_t capital = from_a & ~past_z & ~word & (0x80 * kOnes);
  return word | capital >> 2;
}

}  // namespace zeltrim
