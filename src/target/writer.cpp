// Writing lines back. The new content never overwrites the target in place: it goes to a
// temporary file beside it, reaches the disk, and then takes the target's name in one rename,
// so a failure or a crash at any moment leaves either the old file or the new one. The new bytes
// are compared with the old ones as they are made, and the temporary file is made only where
// they first differ: a target that would not change is never touched.
#include <cstring>
#include <optional>

#include "target/diff.h"
#include "target/encoding.h"
#include "target/target_file.h"

namespace zeltrim {

namespace {
constexpr std::size_t kChunk = std::size_t{256} * 1024;
constexpr std::size_t kComparePiece = std::size_t{64} * 1024;
// A chunk is handed on after the line that fills it: room for the chunk and that line.
constexpr std::size_t kLineRoom = std::size_t{16} * 1024;
constexpr std::string_view kBackupSuffix = ".bak";

// Text in the kind's form: one character per byte, or UTF-8 where the target is edited in
// Unicode mode. False when UTF-8 text is broken and cannot be written faithfully.
bool append_text(const Target& target, std::string_view text, std::string& out) {
  if (!target.unicode) {
    append_encoded(target.kind, text, out);
    return true;
  }
  return append_utf8_encoded(target.kind, text, out);
}

// What follows the last line. The end mark is one byte: after UTF-16 or UTF-32 text it would
// break the last code unit, and every other reader would refuse the file.
void append_end(EncodingKind kind, std::string& out) {
  if (unit_size(kind) == 1) out.push_back(kEndMark);
}
}  // namespace

class TargetWriter::Output {
 public:
  Output(Target& target, const TargetOptions& options, bool keep_would_be, bool begin_at_once)
      : target_(target),
        options_(options),
        allowed_(platform::may_replace(target.path)),
        chunk_(mark_of(target.kind)),
        keep_would_be_(keep_would_be),
        one_byte_units_(unit_size(target.kind) == 1) {
    // The chunk grows as lines come and keeps its room once cleared: a small file never pays
    // for a large buffer.
    if (options.diff) diff_ = std::make_unique<LineDiff>(target, outcome_.diff);
    if (begin_at_once) {
      same_ = false;
      diverge();
    }
  }

  bool failed() const { return failed_; }

  void read(const Line& line) {
    if (diff_) diff_->read(line);
  }

  void read_passed() {
    if (diff_) diff_->read_passed();
  }

  void put(const Line& line) {
    // In the file's own form a line keeps its break, an added line takes the break most lines
    // have, and a last line without a break gets one only when a line comes after it.
    LineBreak gained = LineBreak::none;
    LineBreak written = LineBreak::cr_lf;
    if (options_.keep_form) {
      if (break_pending_) gained = original_form().usual();
      written = line.line_break == LineBreak::usual ? original_form().usual() : line.line_break;
      break_pending_ = written == LineBreak::none;
    }
    if (diff_) diff_->put(line, gained, written);
    if (failed_ || discarding_) return;
    if (options_.keep_form) {
      append_break(gained);
      encode(line.text);
      append_break(written);
    } else if (target_.kind == EncodingKind::plain && line.text.size() >= kChunk) {
      // A long line goes on as it is, not copied into the chunk first.
      flush();
      hand_on(line.text);
      chunk_.append("\r\n", 2);
    } else if (one_byte_units_) {
      chunk_.append(line.text).append("\r\n", 2);
    } else {
      encode(line.text);
      encode("\r\n");
    }
    if (chunk_.size() >= kChunk) {
      flush();
    } else if (chunk_.size() >= kComparePiece && chunk_.capacity() < kChunk) {
      chunk_.reserve(kChunk + kLineRoom);  // once a file is this large, no more regrowing
    }
  }

  WriteOutcome finish();

 private:
  void flush();
  void hand_on(std::string_view bytes);
  bool same_as_original(std::string_view bytes);
  void encode(std::string_view text) {
    if (!append_text(target_, text, chunk_)) {
      fail(WriteResult::would_lose_characters, platform::Status::lossy(platform::Loss::not_utf8));
    }
  }
  void append_break(LineBreak line_break);
  std::string end_bytes();
  const FileForm& original_form();
  void diverge();
  void fail(WriteResult result, const platform::Status& reason) {
    outcome_.result = result;
    outcome_.reason = reason;
    failed_ = true;
    platform::abandon_replacement(replacement_);
  }

  Target& target_;
  const TargetOptions& options_;
  platform::Status allowed_;  // the target may be replaced
  std::string chunk_;         // made, not yet handed on
  std::unique_ptr<LineDiff> diff_;
  std::optional<FileForm> scanned_;
  std::uint64_t compared_ = 0;  // how many bytes handed on equal the old content's
  std::string old_bytes_;       // old content read back, to compare or to copy
  platform::Replacement replacement_;
  platform::File* destination_ = nullptr;
  std::size_t chunks_written_ = 0;
  static constexpr std::size_t kChunksPerWriteOut = 16;
  WriteOutcome outcome_;
  bool keep_would_be_;
  bool one_byte_units_;
  bool break_pending_ = false;  // the last line had none, but another line followed it
  bool same_ = true;            // every byte handed on so far equals the old content's
  bool diverged_ = false;
  bool discarding_ = false;  // the content differs, and nothing needs the rest of it
  bool failed_ = false;
};

// True when the old content holds exactly `bytes` at the place reached so far. It is read in
// small pieces: where the content differs, it mostly differs early.
bool TargetWriter::Output::same_as_original(std::string_view bytes) {
  if (!target_.original.is_open()) return false;
  old_bytes_.resize(std::min(bytes.size(), kComparePiece));
  for (std::size_t have = 0; have < bytes.size();) {
    std::size_t got = 0;
    if (!platform::read_at(target_.original, compared_ + have, old_bytes_.data(),
                           std::min(bytes.size() - have, old_bytes_.size()), got) ||
        got == 0 || std::memcmp(old_bytes_.data(), bytes.data() + have, got) != 0) {
      return false;
    }
    have += got;
  }
  return true;
}

// The content differs from here on: it needs a place, holding first the part that was the same.
void TargetWriter::Output::diverge() {
  diverged_ = true;
  platform::Status made;
  if (!allowed_) {
    discarding_ = true;  // refused at the end, before anything is made
    return;
  }
  if (options_.no_write) {
    if (!keep_would_be_) {
      discarding_ = true;
      return;
    }
    made = platform::open_scratch(outcome_.would_be);
    destination_ = &outcome_.would_be;
  } else {
    made = platform::begin_replacement(target_.path, replacement_);
    destination_ = &replacement_.temp;
  }
  if (!made) {
    if (options_.no_write) outcome_.reason_path = platform::scratch_folder();
    return fail(options_.no_write ? WriteResult::no_scratch : WriteResult::no_temp_file, made);
  }
  std::string& block = old_bytes_;
  for (std::uint64_t copied = 0; copied < compared_;) {
    block.resize(std::min<std::uint64_t>(kComparePiece, compared_ - copied));
    std::size_t got = 0;
    platform::Status taken =
        platform::read_at(target_.original, copied, block.data(), block.size(), got);
    if (!taken || got == 0) return fail(WriteResult::cannot_write, taken);
    platform::Status written =
        platform::write_all(*destination_, std::string_view(block.data(), got));
    if (!written) return fail(WriteResult::cannot_write, written);
    copied += got;
  }
}

// The form of the content the target has now: known once its lines were read, else found by
// reading it through once (a .G target's lines are never read).
const FileForm& TargetWriter::Output::original_form() {
  if (target_.naming == Naming::existing && target_.form.complete) return target_.form;
  if (!scanned_) {
    TargetReader scan(target_, true);
    for (Line line; scan.next(line);) {
    }
    scanned_ = scan.form();
  }
  return *scanned_;
}

void TargetWriter::Output::append_break(LineBreak line_break) {
  switch (line_break) {
    case LineBreak::cr_lf:
      return encode("\r\n");
    case LineBreak::lf:
      return encode("\n");
    case LineBreak::cr:
      return encode("\r");
    case LineBreak::cr_cr:
      return encode("\r\r");
    case LineBreak::usual:  // resolved before: never the break of a file
    case LineBreak::none:
      return;
  }
}

// What follows the last line: in the program's form the end mark (not after UTF-16 or UTF-32
// text); in the file's own form what followed it before, kept as it was, where a .G target
// keeps only whether the file had an end mark, since its old content goes.
std::string TargetWriter::Output::end_bytes() {
  std::string end;
  if (!options_.keep_form) {
    append_end(target_.kind, end);
    return end;
  }
  const FileForm& form = original_form();
  bool kept = true;
  if (target_.naming == Naming::existing) {
    kept = append_text(target_, form.tail, end);
  } else if (form.tail_size > 0) {
    kept = append_text(target_, std::string_view(&kEndMark, 1), end);
  }
  if (!kept) {
    fail(WriteResult::would_lose_characters, platform::Status::lossy(platform::Loss::not_utf8));
  }
  if (form.end_mark_byte) end.push_back(kEndMark);
  return end;
}

void TargetWriter::Output::flush() {
  hand_on(chunk_);
  chunk_.clear();
}

// New bytes, compared with the old content while they are the same, else written.
void TargetWriter::Output::hand_on(std::string_view bytes) {
  if (failed_ || discarding_) return;
  if (same_ && same_as_original(bytes)) {
    compared_ += bytes.size();
    return;
  }
  same_ = false;
  if (!diverged_) diverge();
  if (failed_ || discarding_) return;
  platform::Status written = platform::write_all(*destination_, bytes);
  if (!written) return fail(WriteResult::cannot_write, written);
  // The disk starts on what is written while the rest is made: the sync at the end is short.
  if (destination_ == &replacement_.temp && ++chunks_written_ % kChunksPerWriteOut == 0) {
    platform::start_writing_out(replacement_);
  }
}

WriteOutcome TargetWriter::Output::finish() {
  if (!target_.loaded() || (!target_.held_lines && target_.naming == Naming::existing)) {
    platform::abandon_replacement(replacement_);
    outcome_.result = WriteResult::nothing_to_write;
    return std::move(outcome_);
  }
  std::string end;
  if (!target_.held_lines) {
    chunk_.clear();  // a .G target that never held a line becomes an empty file
  } else {
    end = end_bytes();
    chunk_.append(end);
  }
  flush();
  if (diff_) outcome_.diff_summary = diff_->finish(original_form(), end, !target_.held_lines);
  if (failed_) return std::move(outcome_);
  if (same_) {
    // Every byte made was the same: unchanged, unless the old content goes on beyond them. An
    // unchanged file is left alone, whoever may write it.
    char extra = 0;
    std::size_t got = 0;
    if (target_.original.is_open() &&
        platform::read_at(target_.original, compared_, &extra, 1, got) && got == 0) {
      outcome_.result = WriteResult::unchanged;
      return std::move(outcome_);
    }
  }
  if (!allowed_) {
    platform::abandon_replacement(replacement_);
    outcome_.result = WriteResult::read_only;
    outcome_.reason = allowed_;
    return std::move(outcome_);
  }
  if (same_) {
    same_ = false;
    diverge();
    if (failed_) return std::move(outcome_);
  }
  std::string backup_path = target_.path + std::string(kBackupSuffix);
  if (options_.no_write) {
    // What writing it would meet, found without making anything beside it.
    platform::FileIdentity existing;
    platform::ReplaceCheck check = platform::check_replacement(target_.path);
    platform::Status backup;
    if (options_.backup && !target_.made && platform::identify(target_.path, existing)) {
      backup = platform::check_backup(backup_path);
    }
    if (check.refusal == platform::Refusal::no_temp_file) {
      fail(WriteResult::no_temp_file, check.reason);
    } else if (check.refusal == platform::Refusal::cannot_replace) {
      fail(WriteResult::cannot_write, check.reason);
    } else if (!backup) {
      outcome_.reason_path = backup_path;
      fail(WriteResult::no_backup, backup);
    } else {
      outcome_.result = WriteResult::would_change;
    }
    return std::move(outcome_);
  }
  // Another program may have changed the file while this run held it: then it stays as that
  // program left it.
  if (target_.identified) {
    platform::FileIdentity now;
    if (!platform::identify(target_.path, now) || !now.same_content(target_.read_as)) {
      fail(WriteResult::changed_meanwhile, platform::Status::changed());
      return std::move(outcome_);
    }
  }
  // Some systems will not replace a file that is open; the lock holds it all the same.
  target_.original = platform::File();
  // A file this run made has no old content to keep.
  if (options_.backup && replacement_.target_exists && !target_.made) {
    platform::Status kept = platform::keep_backup(replacement_, backup_path);
    if (!kept) {
      outcome_.reason_path = backup_path;
      fail(WriteResult::no_backup, kept);
      return std::move(outcome_);
    }
    outcome_.backup_path = backup_path;
  }
  platform::Commit commit = platform::commit_replacement(replacement_);
  outcome_.reason = commit.reason;
  switch (commit.result) {
    case platform::CommitResult::done:
      outcome_.result = WriteResult::written;
      break;
    case platform::CommitResult::failed:
      outcome_.result = WriteResult::cannot_write;
      break;
    case platform::CommitResult::not_durable:
      outcome_.result = WriteResult::not_durable;
      break;
  }
  return std::move(outcome_);
}

TargetWriter::TargetWriter(Target& target, const TargetOptions& options, bool keep_would_be,
                           Start start)
    : output_(std::make_unique<Output>(target, options, keep_would_be, start == Start::at_once)) {}

bool TargetWriter::failed() const { return output_->failed(); }

TargetWriter::~TargetWriter() = default;

void TargetWriter::put(const Line& line) { output_->put(line); }

void TargetWriter::read(const Line& line) { output_->read(line); }

void TargetWriter::read_passed() { output_->read_passed(); }

WriteOutcome TargetWriter::finish() { return output_->finish(); }

WriteOutcome write_target(Target& target, const TargetOptions& options, WriteTrace* trace,
                          bool keep_would_be) {
  if (trace == nullptr) {
    TargetWriter writer(target, options, keep_would_be);
    for (const Line& line : target.lines) writer.put(line);
    return writer.finish();
  }
  // Test mode shows every line as it is stored, and waits after each. Whether the file changes
  // is found out first, so that a file that cannot be written is reported before any line is
  // shown, and an unchanged file is only shown.
  TargetOptions probing = options;
  probing.no_write = true;
  TargetWriter probe(target, probing, keep_would_be && options.no_write);
  for (const Line& line : target.lines) probe.put(line);
  WriteOutcome probed = probe.finish();
  if (probed.result != WriteResult::unchanged && probed.result != WriteResult::would_change) {
    return probed;
  }
  if (probed.result == WriteResult::unchanged || options.no_write) {
    for (const Line& line : target.lines) trace->stored(line.text);
    return probed;
  }
  TargetOptions writing = options;
  writing.diff = false;  // the probe made it
  TargetWriter output(target, writing, false, TargetWriter::Start::at_once);
  if (!output.failed()) {
    for (const Line& line : target.lines) {
      output.put(line);
      trace->stored(line.text);
    }
  }
  WriteOutcome written = output.finish();
  written.diff = std::move(probed.diff);
  written.diff_summary = probed.diff_summary;
  return written;
}

std::string written_form(const Target& target) {
  if (!target.held_lines) return {};
  std::string bytes(mark_of(target.kind));
  for (const Line& line : target.lines) {
    append_text(target, line.text, bytes);
    append_text(target, "\r\n", bytes);
  }
  append_end(target.kind, bytes);
  return bytes;
}

}  // namespace zeltrim
