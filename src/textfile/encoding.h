// The byte forms of each encoding kind, shared by the reader, the writer and the diff.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "textfile/target_file.h"

namespace zeltrim {

inline constexpr std::string_view kCrLf = "\r\n";

// The byte-order mark the kind starts with (empty for plain).
std::string_view mark_of(EncodingKind kind);

// How many first bytes tell the kind: the longest mark, UTF-32's.
inline constexpr std::size_t kMarkProbe = 4;

// Bytes per code unit: 1 for plain and UTF-8, 2 for UTF-16, 4 for UTF-32. Asked for every
// line written.
inline std::size_t unit_size(EncodingKind kind) {
  static constexpr std::size_t kUnitSizes[] = {1, 1, 2, 2, 4};  // in the order of EncodingKind
  return kUnitSizes[static_cast<std::size_t>(kind)];
}

// The characters of a line break (none for a line without one). Read for nearly every line.
inline std::string_view break_text(LineBreak line_break) {
  // In the order of LineBreak: the usual break is resolved before anything is written.
  static constexpr std::string_view kBreaks[] = {"", kCrLf, "\n", "\r", "\r\r", ""};
  return kBreaks[static_cast<std::size_t>(line_break)];
}

// Appends `text`, one character per byte, in the kind's form.
void append_encoded(EncodingKind kind, std::string_view text, std::string& out);

// Appends UTF-8 `text` in the kind's form, every character in its own code units (UTF-16 takes
// two for one above U+FFFF). False when the text is not UTF-8 and cannot be written faithfully.
bool append_utf8_encoded(EncodingKind kind, std::string_view text, std::string& out);

// Whether `text` is UTF-8, strictly: no overlong form, no surrogate, nothing above U+10FFFF.
bool is_utf8(std::string_view text);

// Appends the UTF-8 bytes of the character `code`.
void put_utf8(std::uint32_t code, char*& out);

// Appends the characters the whole UTF-16 or UTF-32 code units of `bytes` stand for: each the
// byte of the same value (narrowed), or in Unicode mode its UTF-8 bytes. `pending` keeps a UTF-16
// high surrogate that waits for its low half. Where a unit cannot be carried without loss (above
// U+00FF when narrowed, U+0000, a surrogate out of its pair), decoding stops there and says why.
std::optional<platform::Loss> decode_units(EncodingKind kind, std::string_view bytes, bool unicode,
                                           std::uint32_t& pending, char*& out);

// The most bytes one code unit decodes to.
inline constexpr std::size_t kMostBytesPerUnit = 4;

}  // namespace zeltrim
