// The file being edited: its encoding found from its byte-order mark, its lines read one by
// one, and lines written back in the same form, safely. It knows nothing of the commands and
// prints nothing: opening, reading and writing say what happened, and the interpreter tells the
// user. Every step on the disk goes through the Disk it is handed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "lines/line.h"
#include "platform/files.h"
#include "platform/spool.h"

namespace zeltrim {

enum class EncodingKind : unsigned char { plain, utf8, utf16le, utf16be, utf32be };

inline constexpr char kEndMark = '\x1A';

// The kind that the first bytes announce (fewer than four when the file is that short).
EncodingKind encoding_from_mark(std::string_view first_bytes);

// The text of a file that may begin with a UTF-8 or UTF-16 byte-order mark, as an editor that
// adds a mark meant it: a UTF-8 mark is skipped, and UTF-16 is narrowed unit by unit (each unit
// 1 to 255 becomes that byte), or in Unicode mode decoded to UTF-8. Nothing when a unit cannot
// be read without losing characters (0, above 255 when narrowed, a surrogate out of its pair)
// or the last unit is broken; `reason` then says which.
std::optional<std::string> read_marked_text(std::string_view bytes, bool unicode,
                                            platform::Status& reason);

// What the command line asked of every target.
struct TargetOptions {
  bool no_write = false;   // change nothing on disk; say which files would change
  bool backup = false;     // keep the content from before the run of each file replaced
  bool diff = false;       // show each change as a unified diff
  bool keep_form = false;  // write each file back with its own line ends and end mark
  bool unicode = false;    // UTF-16 and UTF-32 text is edited as UTF-8, every character kept
  std::string backup_suffix = ".bak";  // what a backup's name adds to the target's
  std::string validate;  // a command that checks the new content before it is put in place
};

// How the instruction file named the target.
enum class Naming : unsigned char {
  existing,  // .F: a file to edit
  created,   // .G: made when missing; its old content, if any, is replaced by the new lines
};

enum class LoadResult : unsigned char {
  loaded,
  cannot_open,            // missing, refused, or not a file (with .G: cannot be opened to write)
  cannot_read,            // a read failed: nothing is loaded
  would_lose_characters,  // a character the lines cannot hold, or a broken code unit
  cannot_close,
};

// How a file ended, and which break most of its lines have: known once every line is read.
struct FileForm {
  std::size_t cr_lf = 0;  // lines ended by each kind of break
  std::size_t lf = 0;
  std::size_t cr = 0;
  // What follows the last line, one byte per character, where it is kept: in a plain file the
  // line that begins with the end mark and every byte after it; in an encoded one the text
  // after the last break, when it begins with the end mark.
  std::string tail;
  // Where that begins in a plain or UTF-8 file, and how many bytes it takes (also where it is
  // not kept).
  std::uint64_t tail_at = 0;
  std::uint64_t tail_size = 0;
  bool end_mark_byte = false;  // one byte 0x1A after the last UTF-16 or UTF-32 code unit
  bool complete = false;

  LineBreak usual() const;  // the most common; CR LF when there is none
};

// The file being edited: where it is, how it was named, its kind, and where its present
// content is read from.
struct Target {
  std::string path;
  Naming naming = Naming::existing;
  EncodingKind kind = EncodingKind::plain;
  // The content the target has now: the file, or what this run would already have written to it
  // where nothing is written. Not open when there is none (a .G file that does not exist yet).
  platform::File original;
  platform::TargetLock lock;  // held from the moment it is named until it is written back
  std::optional<platform::FileIdentity> read_as;  // the file as it was when it was opened
  bool made = false;  // a .G file that did not exist: made empty when it was named
  // Its own form: LF lines without an end mark, as the .G line that made it ends (else the
  // program's form).
  bool made_with_lf = false;
  FileForm form;         // of the present content, once its lines were all read
  bool back_up = false;  // a replacement keeps its content from before the run (as NAME.bak)
};

// A target as naming it left it, and whether it can be edited.
struct Opened {
  Target target;
  LoadResult result = LoadResult::cannot_open;
  platform::Status reason;  // what the system said, when the result is a failure
};

// Opens the target `path` names, ready for its lines to be read. A file that cannot be looked
// at keeps the `previous` kind: the kind of the target before it (plain for the first).
// `shadow`, when open, is what this run would already have written to the file. `waiting` is
// called once when another run holds the file and this one waits for it.
Opened open_target(platform::Disk& disk, const std::string& path, Naming naming,
                   EncodingKind previous, const TargetOptions& options, platform::File shadow,
                   const std::function<void()>& waiting);

class LineDiff;

// Reads a target's lines one at a time, in the target's kind, without holding the file.
class TargetReader {
 public:
  // Reads the present content (an .F target's lines; a .G target's only where `whole_content`).
  // `options` must outlive the reader.
  TargetReader(platform::Disk& disk, Target& target, const TargetOptions& options,
               bool whole_content = false, LineDiff* watcher = nullptr);
  ~TargetReader();

  // The next line, its text valid until the next call; false at the end or when reading failed.
  bool next(Line& line);
  // Finds a text of `size` bytes (at least one) in the bytes it is given, at or after an offset:
  // the offset of its first occurrence there, or npos.
  struct Sought {
    std::function<std::size_t(std::string_view, std::size_t)> find;
    std::size_t size;
  };
  // The lines from here on, as they were read, up to the first that may hold the sought text,
  // where each ends in CR LF and none begins with the end mark or holds a zero byte: a plain
  // file's lines that the program's form writes back byte for byte. Empty where the next line
  // is not such a line, or in any other kind of file, the file's own form or under a diff. Valid
  // until the next call; the lines are counted as next() counts them. Each byte is searched
  // about once, however the calls come.
  std::string_view untouched_lines(const Sought& sought);
  // Reads on, line after line, to the end or until `most` lines were read; then the form().
  const FileForm& read_through(std::uint64_t most = UINT64_MAX);
  // How the content ended and which break most lines have: complete once next() gave false.
  const FileForm& form() const;
  // loaded when every line was read; else why reading stopped, with the system's reason.
  LoadResult result() const;
  const platform::Status& reason() const;

 private:
  class Decoder;
  std::unique_ptr<Decoder> decoder_;
  LineDiff* watcher_;
};

enum class WriteResult : unsigned char {
  written,
  unchanged,         // the file already holds exactly these bytes and was not touched
  nothing_to_write,  // no line ever in an .F target: the file was not touched
  would_change,      // nothing is written in this run, but the file's bytes would change
  read_only,         // the target may not be replaced
  no_temp_file,      // no temporary file could be made beside it
  no_scratch,        // nothing is written in this run, and no scratch file could hold the bytes
  cannot_write,      // writing, syncing or renaming failed; the target is as it was
  no_backup,         // its old content could not be kept as asked; the target is as it was
  would_lose_characters,  // a line is not UTF-8 and cannot be written in the file's form
  changed_meanwhile,  // another program changed or replaced the file: it is left as that left it
  failed_validation,  // the validation command refused the new content; the target is as it was
  not_durable,        // the new content is in place, but its folder could not be synced
};

// What the diff of a target found.
struct DiffSummary {
  bool lines_changed = false;  // a line was added, removed or changed
  bool form_changed = false;   // a line's break or what follows the last line changed
  bool as_text = false;        // UTF-16 or UTF-32: the lines are shown as UTF-8, not the bytes
};

struct WriteOutcome {
  WriteResult result = WriteResult::written;
  platform::Status reason;
  std::string reason_path;  // what the reason is about, where it is not the target
  std::string backup_path;  // where the old content was kept, when it was
  platform::Spool diff;     // with the diff option: the change as a unified diff
  DiffSummary diff_summary;
  platform::File shadow;  // where nothing is written: the bytes the file would hold
  // The file renamed into place, where the caller syncs its folder (see TargetWriter::commit).
  std::string renamed;
};

// Writes lines back to a target as they come: each line in the target's form, compared with the
// present content as it goes, and only where they differ to the destination chosen once — a
// temporary file that replaces the target in one rename at the end, or, where nothing is
// written, a shadow that never does. A target whose bytes would not change is never touched.
// The new content is made complete first, and put in place only when asked: what the run says
// of a target comes between the two.
class TargetWriter {
 public:
  TargetWriter(platform::Disk& disk, Target& target, const TargetOptions& options);
  ~TargetWriter();

  void put(const Line& line);
  // Lines as a plain file holds them in the program's form, each ended by CR LF: what put()
  // makes of them, given whole (untouched_lines). Not for the file's own form or under a diff.
  void put_lines(std::string_view bytes);
  // The diff, where the change is shown: it is handed each old line as it is read.
  LineDiff* diff();
  // The lines were written with a break they do not mostly have, as `read` found them once all
  // were read: they must be written again by a writer of their own.
  bool guessed_wrong(const FileForm& read) const;
  // After the last line: the new content completed in its destination, or found to be the old
  // one, or refused. `any_line`: whether any line ever went through (a .G target that had none
  // becomes an empty file, an .F target that had none is not written).
  void prepare(bool any_line);
  // The new content was refused before any of it was written (a target that may not be replaced,
  // a line it cannot hold, no place to make it, a backup that cannot be made).
  bool refused() const;
  // Where the prepared content waits to be made durable with that of other targets: its
  // temporary file, given the target's attributes; none where nothing is to be put in place.
  platform::File* waiting_file();
  // Puts the prepared content in place, and says what came of it. Where `made_durable`, the
  // caller has synced the waiting file already; where not `sync_folder`, the caller syncs the
  // folder of what was renamed afterwards.
  WriteOutcome commit(bool made_durable = false, bool sync_folder = true);

 private:
  class Output;
  std::unique_ptr<Output> output_;
};

}  // namespace zeltrim
