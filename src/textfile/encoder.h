// Lines in the target's form: the bytes each line becomes, and what follows the last line. In
// the program's form every line ends with CR LF and plain and UTF-8 text with the end mark; in
// the file's own form (/k) a line keeps its break and the file its end.
#pragma once

#include <optional>
#include <string>

#include "textfile/target_file.h"

namespace zeltrim {

// How a line is written: the break it takes, and the break the line before it gains because
// this one follows it (none where it had one).
struct LineForm {
  LineBreak gained = LineBreak::none;
  LineBreak written = LineBreak::cr_lf;
};

class Encoder {
 public:
  Encoder(platform::Disk& disk, Target& target, const TargetOptions& options)
      : disk_(disk), target_(target), options_(options) {}

  // The next line's form; asked once for each line, in order.
  LineForm form_of(const Line& line);
  // Appends the line's bytes: the break the line before gained, its text and its own break.
  // False when a line to be written as UTF-16 or UTF-32 is not UTF-8.
  bool append(const Line& line, const LineForm& form, std::string& out);
  // What follows the last line. False as for append.
  bool append_end(std::string& out);
  // The form of the content the target has now: known once its lines were read, else found by
  // reading it through once (a .G target's lines are never read).
  const FileForm& original_form();
  // Whether the break most lines have was taken from the first lines while the rest were still
  // being read, and all the lines, as `read` counts them, have another: what was written with it
  // is wrong, and the lines must be written again now that their form is known.
  bool guessed_wrong(const FileForm& read) const { return guessed_ && *guessed_ != read.usual(); }

 private:
  LineBreak usual_break();
  bool append_text(std::string_view text, std::string& out) const;

  platform::Disk& disk_;
  Target& target_;
  const TargetOptions& options_;
  bool break_pending_ = false;  // the last line had none: it gains one if another follows
  std::optional<FileForm> scanned_;
  std::optional<LineBreak> guessed_;
};

}  // namespace zeltrim
