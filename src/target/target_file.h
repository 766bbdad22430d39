// Target files: finding a target's encoding from its byte-order mark, loading it into lines,
// and writing the lines back in the same form. It knows nothing of the commands and prints
// nothing: loading and writing say what happened, and the interpreter tells the user.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "lines/line_list.h"
#include "platform/files.h"

namespace zeltrim {

enum class EncodingKind : unsigned char { plain, utf8, utf16le, utf16be, utf32be };

inline constexpr char kEndMark = '\x1A';

// The kind that the first bytes announce (fewer than four when the file is that short).
EncodingKind encoding_from_mark(std::string_view first_bytes);

// The kind a file's first bytes announce; `previous` when the file cannot be opened.
EncodingKind detect_encoding(const std::string& path, EncodingKind previous);

// The text of a file that may begin with a UTF-8 or UTF-16 byte-order mark, one byte per
// character, as an editor that adds a mark meant it: a UTF-8 mark is skipped, and UTF-16 is
// narrowed unit by unit (each unit 1 to 255 becomes that byte). Nothing when a unit is 0 or
// above 255, or the last unit is broken: the text cannot be read without losing characters.
std::optional<std::string> narrow_marked_text(std::string_view bytes);

// How the instruction file named the target.
enum class Naming : unsigned char {
  existing,  // .F: a file to edit
  created,   // .G: made when missing, emptied when present
};

enum class LoadResult : unsigned char {
  loaded,
  cannot_open,            // missing, refused, or not a file (with .G: cannot be made)
  cannot_read,            // a read failed: nothing is loaded
  would_lose_characters,  // a character the lines cannot hold, or a broken code unit
  cannot_close,
};

// The file being edited: where it is, how it was named, its form and its lines.
struct Target {
  std::string path;
  Naming naming = Naming::existing;
  EncodingKind kind = EncodingKind::plain;
  LoadResult result = LoadResult::cannot_open;
  platform::Status reason;  // what the system said, when the result is a failure
  TextStore store;
  LineList lines;
  // The line list has held a line at some time. An .F target that never held one is not written
  // back, and a .G target that never held one becomes an empty file; a target whose lines were
  // all removed is written back without them.
  bool held_lines = false;

  bool loaded() const { return result == LoadResult::loaded; }
};

// Loads the target `path` names. A file that cannot be looked at keeps the `previous` kind:
// the kind of the target before it (plain for the first).
Target load_target(const std::string& path, Naming naming, EncodingKind previous);

enum class WriteResult : unsigned char {
  written,
  unchanged,         // the file already holds exactly these bytes and was not touched
  nothing_to_write,  // nothing loaded, or no line ever in an .F target: the file was not touched
  read_only,         // the target may not be replaced
  no_temp_file,      // no temporary file could be made beside it
  cannot_write,      // writing, syncing or renaming failed; the target is as it was
  not_durable,       // the new content is in place, but its folder could not be synced
};

struct WriteOutcome {
  WriteResult result = WriteResult::written;
  platform::Status reason;
};

// Shown each line as it is written back: test mode prints it and waits for a key.
class WriteTrace {
 public:
  virtual void stored(std::string_view text) = 0;

 protected:
  ~WriteTrace() = default;
};

// Writes the target's lines back, safely: the new content replaces the file in one rename.
WriteOutcome write_target(const Target& target, WriteTrace* trace = nullptr);

// The bytes the writer puts in the file for these lines.
std::string written_form(const Target& target);

}  // namespace zeltrim
