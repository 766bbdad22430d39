#include "textfile/encoder.h"

#include "textfile/encoding.h"

namespace zeltrim {

const FileForm& Encoder::original_form() {
  if (target_.naming == Naming::existing && target_.form.complete) return target_.form;
  if (!scanned_) scanned_ = TargetReader(disk_, target_, options_, true).read_through();
  return *scanned_;
}

LineBreak Encoder::usual_break() {
  // A file .G makes has no lines of its own to tell: it takes the form its .G line asks for.
  if (target_.made) return target_.made_with_lf ? LineBreak::lf : LineBreak::cr_lf;
  if (target_.naming != Naming::existing || target_.form.complete) return original_form().usual();
  if (!guessed_) {
    // The file's lines are being read as these are written: rather than read it all through
    // first, the first lines tell, and the rare file whose later lines outvote them is written
    // again.
    constexpr std::size_t kFirstLines = 4096;
    guessed_ = TargetReader(disk_, target_, options_, true).read_through(kFirstLines).usual();
  }
  return *guessed_;
}

LineForm Encoder::form_of(const Line& line) {
  if (!options_.keep_form) return {};
  // A line keeps its break, an added line takes the break most lines have, and a last line
  // without a break gets one only when a line comes after it.
  LineForm form;
  if (break_pending_) form.gained = usual_break();
  form.written = line.line_break == LineBreak::usual ? usual_break() : line.line_break;
  break_pending_ = form.written == LineBreak::none;
  return form;
}

// Text in the kind's form: one character per byte, or UTF-8 where the target is edited in
// Unicode mode.
bool Encoder::append_text(std::string_view text, std::string& out) const {
  if (options_.unicode) return append_utf8_encoded(target_.kind, text, out);
  append_encoded(target_.kind, text, out);
  return true;
}

bool Encoder::append(const Line& line, const LineForm& form, std::string& out) {
  if (!options_.keep_form && unit_size(target_.kind) == 1) {
    out.append(line.text).append(kCrLf);  // nearly every line of a run comes this way
    return true;
  }
  return append_text(break_text(form.gained), out) && append_text(line.text, out) &&
         append_text(break_text(form.written), out);
}

// In the program's form the end mark is one byte, after plain and UTF-8 text only: after
// UTF-16 or UTF-32 text it would break the last code unit, and every other reader would refuse
// the file. In the file's own form what followed the last line is kept as it was, where a .G
// target keeps only whether the file had an end mark, since its old content goes; a file .G made
// has the end mark of the program's form unless its .G line asked for LF lines.
bool Encoder::append_end(std::string& out) {
  if (!options_.keep_form) {
    if (unit_size(target_.kind) == 1) out.push_back(kEndMark);
    return true;
  }
  const FileForm& form = original_form();
  bool end_mark =
      target_.made ? !target_.made_with_lf && unit_size(target_.kind) == 1 : form.tail_size > 0;
  std::string_view end = target_.naming == Naming::existing ? std::string_view(form.tail)
                         : end_mark                         ? std::string_view(&kEndMark, 1)
                                                            : std::string_view();
  bool kept = append_text(end, out);
  if (form.end_mark_byte) out.push_back(kEndMark);
  return kept;
}

}  // namespace zeltrim
