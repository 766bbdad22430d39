// The byte forms of each encoding kind, shared by the reader, the writer and the diff.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "textfile/target_file.h"

namespace zeltrim {

// The byte-order mark the kind starts with (empty for plain).
std::string_view mark_of(EncodingKind kind);

// Bytes per code unit: 1 for plain and UTF-8, 2 for UTF-16, 4 for UTF-32.
std::size_t unit_size(EncodingKind kind);

// Appends `text`, one character per byte, in the kind's form.
void append_encoded(EncodingKind kind, std::string_view text, std::string& out);

// Appends UTF-8 `text` in the kind's form, every character in its own code units (UTF-16 takes
// two for one above U+FFFF). False when the text is not UTF-8 and cannot be written faithfully.
bool append_utf8_encoded(EncodingKind kind, std::string_view text, std::string& out);

// Appends the character one UTF-16 or UTF-32 code unit stands for: the byte of the same value
// (narrowed), or in Unicode mode its UTF-8 bytes. `pending` keeps a UTF-16 high surrogate that
// waits for its low half. False when the unit cannot be carried without loss: above U+00FF when
// narrowed, U+0000, or a surrogate out of its pair.
bool decode_unit(EncodingKind kind, std::uint32_t unit, bool unicode, std::uint32_t& pending,
                 char*& out);

// Why decode_unit refused `unit` (with the same `pending` it was given).
platform::Loss loss_of_unit(EncodingKind kind, std::uint32_t unit, bool unicode,
                            std::uint32_t pending);

// The most bytes decode_unit appends for one unit.
inline constexpr std::size_t kMostBytesPerUnit = 4;

}  // namespace zeltrim
