// Inside the target room: the byte forms of each encoding kind, shared by the loader and the
// writer.
#pragma once

#include <string>
#include <string_view>

#include "target/target_file.h"

namespace zeltrim {

// The byte-order mark the kind starts with (empty for plain).
std::string_view mark_of(EncodingKind kind);

// Bytes per code unit: 1 for plain and UTF-8, 2 for UTF-16, 4 for UTF-32.
std::size_t unit_size(EncodingKind kind);

// Appends `text`, one character per byte, in the kind's form.
void append_encoded(EncodingKind kind, std::string_view text, std::string& out);

}  // namespace zeltrim
