// Loading a target into the line list. A target is read whole, in large blocks, and its lines
// are made as pieces of the one kept block, so a large file costs one copy and one small entry
// per line.
#include <algorithm>
#include <cstring>

#include "lines/line_list.h"
#include "platform/console.h"
#include "platform/files.h"
#include "target/encoding.h"
#include "target/target_file.h"

namespace zeltrim {

namespace {

constexpr std::string_view kErrorOpeningFile = "Error opening file %s in ZELTRIM.EXE\n";
constexpr std::string_view kErrorClosingFile = "Error closing file %s in ZELTRIM.EXE\n";
constexpr std::string_view kErrorReadingFile =
    "Error reading file %s in ZELTRIM.EXE, file left unchanged\n";
constexpr std::string_view kWouldLoseCharacters =
    "Error - %s cannot be edited without losing characters, file left unchanged\n";
constexpr std::string_view kLeaving = "TEST MODE: leaving get_target_file\n";

enum class Loaded { ok, read_error, would_lose_characters };

bool only_line_breaks(std::string_view line) {
  return line.size() <= 2 && line.find_first_not_of("\r\n") == std::string_view::npos;
}

// A plain file: lines end after each LF; a line's CR LF is cut, a lone LF or CR stays in its
// text. A line that begins with the end mark ends the file.
Loaded load_plain(std::string_view bytes) {
  std::size_t at = 0;
  while (at < bytes.size() && bytes[at] != kEndMark) {
    std::size_t lf = bytes.find('\n', at);
    std::size_t end = lf == std::string_view::npos ? bytes.size() : lf + 1;
    std::string_view line = bytes.substr(at, end - at);
    if (only_line_breaks(line)) {
      add_bottom(new_blank_entry());
    } else {
      if (line.ends_with("\r\n")) line.remove_suffix(2);
      add_bottom(new_kept_entry(line));
    }
    at = end;
  }
  // A zero byte cannot be carried through the edit: it marks text of another encoding.
  if (bytes.substr(0, at).find('\0') != std::string_view::npos) {
    return Loaded::would_lose_characters;
  }
  return Loaded::ok;
}

// Encoded text, one byte per character: CR LF, a lone CR and a lone LF each end one line.
// Bytes after the last break form one more line unless they begin with the end mark.
void split_encoded(std::string_view text) {
  std::size_t start = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    char byte = text[at];
    if (byte != '\r' && byte != '\n') continue;
    if (at == start) {
      add_bottom(new_blank_entry());
    } else {
      add_bottom(new_kept_entry(text.substr(start, at - start)));
    }
    if (byte == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
    start = at + 1;
  }
  if (start < text.size() && text[start] != kEndMark) {
    add_bottom(new_kept_entry(text.substr(start)));
  }
}

// UTF-16 or UTF-32 after the mark, narrowed to one byte per character in place: character i
// goes to byte i, which lies at or before the unit it comes from. Only characters U+0001 to
// U+00FF survive as bytes; anything else, or a broken last unit, would be lost.
Loaded narrow_units(EncodingKind kind, char* data, std::size_t& size) {
  std::size_t unit = unit_size(kind);
  std::size_t rest = size % unit;
  if (rest != 0) {
    // The single end-mark byte this program writes after the last unit.
    if (rest != 1 || data[size - 1] != kEndMark) return Loaded::would_lose_characters;
    --size;
  }
  size /= unit;
  const unsigned char* in = reinterpret_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i, in += unit) {
    unsigned long value = 0;
    if (kind == EncodingKind::utf16le) {
      value = in[0] | (in[1] << 8);
    } else {
      for (std::size_t b = 0; b < unit; ++b) value = (value << 8) | in[b];
    }
    if (value == 0 || value > 0xFF) return Loaded::would_lose_characters;
    data[i] = static_cast<char>(value);
  }
  return Loaded::ok;
}

// Reads the file and takes its kind from the very bytes that are loaded, so the two always
// agree: a separate look at the mark could fail, or see another file, and load a UTF-8 file
// as plain text with its mark inside the first line.
Loaded load_lines(platform::File& file) {
  platform::FileBytes bytes;
  if (!platform::read_whole(file, bytes)) return Loaded::read_error;
  EncodingKind kind = encoding_from_mark(bytes.view());  // looks at the first four bytes only
  set_encoding_kind(kind);
  // Encoded text is checked and narrowed behind its mark before the list keeps it.
  std::size_t start = kind == EncodingKind::plain ? 0 : std::min(bytes.size, mark_of(kind).size());
  std::size_t size = bytes.size - start;
  if (kind == EncodingKind::utf8 && std::memchr(bytes.block.get() + start, '\0', size) != nullptr) {
    return Loaded::would_lose_characters;
  }
  if (unit_size(kind) > 1) {
    Loaded result = narrow_units(kind, bytes.block.get() + start, size);
    if (result != Loaded::ok) return result;
  }
  std::string_view text = keep_block(std::move(bytes.block), start + size).substr(start);
  if (kind != EncodingKind::plain) {
    split_encoded(text);
    return Loaded::ok;
  }
  Loaded result = load_plain(text);
  if (result != Loaded::ok) free_line_list();
  return result;
}

}  // namespace

int get_target_file(const std::string& path, int create) {
  free_line_list();
  // .G takes the kind before it empties the file, so that the file keeps it; a target that
  // cannot be opened keeps the kind of the one before.
  if (create) set_encoding_kind(detect_encoding(path, encoding_kind()));

  platform::File file;
  bool opened = create ? platform::create_file(path, file)
                       : platform::open_for_reading(path, platform::Accept::regular_file, file);
  if (!opened) {
    platform::say(kErrorOpeningFile, path);
    return 0;
  }
  if (!create) {
    switch (load_lines(file)) {
      case Loaded::ok:
        break;
      case Loaded::read_error:
        free_line_list();
        platform::say(kErrorReadingFile, path);
        return 0;
      case Loaded::would_lose_characters:
        platform::say(kWouldLoseCharacters, path);
        return 0;
    }
  }
  if (!platform::close_file(file)) {
    platform::say(kErrorClosingFile, path);
    return 0;
  }
  if (platform::test_mode()) platform::say(kLeaving);
  return 1;
}

}  // namespace zeltrim
