// Loading a target into lines. A target is read whole, in large blocks, and its lines are made
// as pieces of the one kept block, so a large file costs one copy and one small entry per line.
#include <algorithm>
#include <cstring>

#include "target/encoding.h"
#include "target/target_file.h"

namespace zeltrim {

namespace {

bool only_line_breaks(std::string_view line) {
  return line.size() <= 2 && line.find_first_not_of("\r\n") == std::string_view::npos;
}

// A plain file: lines end after each LF, and the CR LF or lone LF that ends a line is cut; a
// lone CR stays in its text. A line that begins with the end mark ends the file.
LoadResult load_plain(std::string_view bytes, LineList& lines) {
  std::size_t at = 0;
  while (at < bytes.size() && bytes[at] != kEndMark) {
    std::size_t lf = bytes.find('\n', at);
    std::size_t end = lf == std::string_view::npos ? bytes.size() : lf + 1;
    std::string_view line = bytes.substr(at, end - at);
    if (only_line_breaks(line)) {
      lines.push_back(blank_line());
    } else {
      line.remove_suffix(line.ends_with("\r\n") ? 2 : line.ends_with('\n') ? 1 : 0);
      lines.push_back(text_line(line));
    }
    at = end;
  }
  // A zero byte cannot be carried through the edit: it marks text of another encoding.
  if (bytes.substr(0, at).find('\0') != std::string_view::npos) {
    lines.clear();
    return LoadResult::would_lose_characters;
  }
  return LoadResult::loaded;
}

// Encoded text, one byte per character: CR LF, a lone CR and a lone LF each end one line.
// Bytes after the last break form one more line unless they begin with the end mark.
void split_encoded(std::string_view text, LineList& lines) {
  std::size_t start = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    char byte = text[at];
    if (byte != '\r' && byte != '\n') continue;
    if (at == start) {
      lines.push_back(blank_line());
    } else {
      lines.push_back(text_line(text.substr(start, at - start)));
    }
    if (byte == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
    start = at + 1;
  }
  if (start < text.size() && text[start] != kEndMark)
    lines.push_back(text_line(text.substr(start)));
}

// UTF-16 or UTF-32 after the mark, narrowed to one byte per character in place: character i
// goes to byte i, which lies at or before the unit it comes from. Only characters U+0001 to
// U+00FF survive as bytes; anything else, or a broken last unit, would be lost.
LoadResult narrow_units(EncodingKind kind, char* data, std::size_t& size) {
  std::size_t unit = unit_size(kind);
  std::size_t rest = size % unit;
  if (rest != 0) {
    // The single end-mark byte this program writes after the last unit.
    if (rest != 1 || data[size - 1] != kEndMark) return LoadResult::would_lose_characters;
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
    if (value == 0 || value > 0xFF) return LoadResult::would_lose_characters;
    data[i] = static_cast<char>(value);
  }
  return LoadResult::loaded;
}

// Reads the file and takes its kind from the very bytes that are loaded, so the two always
// agree: a separate look at the mark could fail, or see another file, and load a UTF-8 file
// as plain text with its mark inside the first line.
LoadResult load_lines(platform::File& file, Target& target) {
  platform::FileBytes bytes;
  target.reason = platform::read_whole(file, bytes);
  if (!target.reason) return LoadResult::cannot_read;
  EncodingKind kind = encoding_from_mark(bytes.view());  // looks at the first four bytes only
  target.kind = kind;
  // Encoded text is checked and narrowed behind its mark before the lines keep it.
  std::size_t start = kind == EncodingKind::plain ? 0 : std::min(bytes.size, mark_of(kind).size());
  std::size_t size = bytes.size - start;
  if (kind == EncodingKind::utf8 && std::memchr(bytes.block.get() + start, '\0', size) != nullptr) {
    return LoadResult::would_lose_characters;
  }
  if (unit_size(kind) > 1) {
    LoadResult narrowed = narrow_units(kind, bytes.block.get() + start, size);
    if (narrowed != LoadResult::loaded) return narrowed;
  }
  std::string_view text = target.store.adopt(std::move(bytes.block), start + size).substr(start);
  if (kind != EncodingKind::plain) {
    split_encoded(text, target.lines);
    return LoadResult::loaded;
  }
  return load_plain(text, target.lines);
}

}  // namespace

Target load_target(const std::string& path, Naming naming, EncodingKind previous) {
  Target target;
  target.path = path;
  target.naming = naming;
  target.kind = previous;
  // .G keeps the kind of an existing file. Its old content is replaced only at write-back, so
  // a run that fails on the way leaves it whole; a missing file is made at once.
  if (naming == Naming::created) target.kind = detect_encoding(path, previous);

  platform::File file;
  target.reason = naming == Naming::created
                      ? platform::open_for_writing(path, file)
                      : platform::open_for_reading(path, platform::Accept::regular_file, file);
  if (!target.reason) {
    target.result = LoadResult::cannot_open;
    return target;
  }
  if (naming == Naming::existing) {
    target.result = load_lines(file, target);
    if (target.result != LoadResult::loaded) return target;
  }
  target.reason = platform::close_file(file);
  target.result = target.reason ? LoadResult::loaded : LoadResult::cannot_close;
  target.held_lines = !target.lines.empty();
  return target;
}

}  // namespace zeltrim
