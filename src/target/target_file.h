// Target files: finding a target's encoding from its byte-order mark, loading it into the line
// list, and writing the list back in the same form. It knows nothing of the commands; it reaches
// the disk and the console only through the platform seam.
#pragma once

#include <string>
#include <string_view>

namespace zeltrim {

enum class EncodingKind : int {
  plain = 0,
  utf8 = 8,
  utf16le = 16,
  utf16be = 17,
  utf32be = 32,
};

// The kind of the target loaded last; the writer writes in it. Plain until a target is named.
EncodingKind encoding_kind();
void set_encoding_kind(EncodingKind kind);

// The kind a file's first bytes announce; `previous` when the file cannot be opened.
EncodingKind detect_encoding(const std::string& path, EncodingKind previous);

// The kind that the first bytes announce (fewer than four when the file is that short).
EncodingKind encoding_from_mark(std::string_view first_bytes);

// Loads the target into the emptied line list: 1 when loaded, 0 when not (the reason printed).
// With `create` the file is made, or emptied, and nothing is read.
int get_target_file(const std::string& path, int create);

// Writes the line list back to the target: 1 on success or when there was nothing to write,
// 0 when the target could not be written (the reason printed, the file left as it was).
int put_target_file(const std::string& path);

// The bytes the writer puts in a file for the current list and kind (used by tests and tools).
std::string written_form();

inline constexpr char kEndMark = '\x1A';

}  // namespace zeltrim
