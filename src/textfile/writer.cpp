// Writing lines back. The new content never overwrites the target in place: it goes to a
// temporary file beside it, reaches the disk, and then takes the target's name in one rename,
// so a failure or a crash at any moment leaves either the old file or the new one. The new bytes
// are compared with the old ones as they are made, and the place they go is made only where
// they first differ: a target that would not change is never touched.
#include <cstring>
#include <optional>
#include <utility>

#include "textfile/diff.h"
#include "textfile/encoder.h"
#include "textfile/encoding.h"
#include "textfile/target_file.h"

namespace zeltrim {

namespace {
constexpr std::size_t kChunk = std::size_t{256} * 1024;
constexpr std::size_t kComparePiece = std::size_t{64} * 1024;
// A chunk is handed on after the line that fills it: space for the chunk and that line.
constexpr std::size_t kLineSpace = std::size_t{16} * 1024;
constexpr std::size_t kChunksPerWriteOut = 16;

// What went wrong, in the outcome the caller is told.
void record_failure(WriteOutcome& outcome, WriteResult result, const platform::Status& reason) {
  outcome.result = result;
  outcome.reason = reason;
}

// Where the new bytes go once they differ from the old ones, made only then. The replacement
// takes the target's place at the end; the shadow, where nothing is written in this run, keeps
// the bytes for the next time the file is named and never takes its place.
class Destination {
 public:
  Destination(platform::Disk& disk, Target& target, const TargetOptions& options)
      : disk_(disk), target_(target), options_(options) {}
  virtual ~Destination() = default;

  // Makes the file; on failure says why in `outcome`.
  virtual void open(WriteOutcome& outcome) = 0;
  virtual platform::Status write(std::string_view bytes) = 0;
  // Where the new content waits to be made durable: none where nothing will be put in place.
  virtual platform::File* waiting_file(WriteOutcome&) { return nullptr; }
  // The new content is complete (and differs): puts it in place, or says what that would meet.
  virtual void finish(WriteOutcome& outcome, bool made_durable, bool sync_folder) = 0;
  virtual void abandon() {}

 protected:
  bool backup_wanted() const { return target_.back_up && !target_.made; }
  std::string backup_path() const { return target_.path + options_.backup_suffix; }

  platform::Disk& disk_;
  Target& target_;
  const TargetOptions& options_;
};

class ReplacementFile final : public Destination {
 public:
  using Destination::Destination;

  // A backup that could not be made would refuse the new content at the end: it is refused
  // before any of it is written.
  void open(WriteOutcome& outcome) override {
    if (backup_wanted()) {
      if (platform::Status backup = disk_.may(backup_path(), platform::Check::backup); !backup) {
        outcome.reason_path = backup_path();
        return record_failure(outcome, WriteResult::no_backup, backup);
      }
    }
    platform::Status made = disk_.begin_replacement(target_.path, replacement_);
    if (!made) record_failure(outcome, WriteResult::no_temp_file, made);
  }

  platform::Status write(std::string_view bytes) override {
    platform::Status written = disk_.write_all(replacement_.temp, bytes);
    // The disk starts on what is written while the rest is made: the sync at the end is short.
    if (written && ++chunks_written_ % kChunksPerWriteOut == 0) {
      disk_.start_writing_out(replacement_.temp);
    }
    return written;
  }

  // The new content takes the target's attributes before it reaches the disk.
  platform::File* waiting_file(WriteOutcome& outcome) override {
    if (!attributed_) {
      platform::Status given = disk_.give_attributes(replacement_.temp, replacement_);
      if (!given) {
        give_up(outcome, WriteResult::cannot_write, given);
        return nullptr;
      }
      attributed_ = true;
    }
    return &replacement_.temp;
  }

  void finish(WriteOutcome& outcome, bool made_durable, bool sync_folder) override {
    // The new content reaches the disk first, and is checked there where a check is asked for.
    if (!made_durable && waiting_file(outcome) == nullptr) return;
    platform::Status durable = made_durable ? platform::Status() : disk_.sync(replacement_.temp);
    if (!durable) return give_up(outcome, WriteResult::cannot_write, durable);
    if (!options_.validate.empty()) {
      platform::Status checked = disk_.run_check(options_.validate, replacement_.temp_path);
      if (!checked) return give_up(outcome, WriteResult::failed_validation, checked);
    }
    // Another program may have changed the file while this run held it: then it stays as that
    // program left it.
    platform::FileIdentity now;
    if (target_.read_as && (!disk_.identify(target_.path, now) || now != *target_.read_as)) {
      return give_up(outcome, WriteResult::changed_meanwhile, platform::Status::changed());
    }
    // Some systems will not replace a file that is open; the lock holds it all the same.
    target_.original = platform::File();
    // A file this run made has no old content to keep.
    if (backup_wanted() && replacement_.target_exists) {
      platform::Status kept = disk_.keep_backup(replacement_, backup_path());
      if (!kept) {
        outcome.reason_path = backup_path();
        return give_up(outcome, WriteResult::no_backup, kept);
      }
      outcome.backup_path = backup_path();
    }
    // Closed before the rename: a write that fails shows up at the close. A rename that fails
    // leaves the target as it was.
    platform::Status committed = disk_.close_file(replacement_.temp);
    if (committed) committed = disk_.rename(replacement_.temp_path, replacement_.target_path);
    if (!committed) return give_up(outcome, WriteResult::cannot_write, committed);
    replacement_.temp_path.clear();
    // The new content is in place; its name lasts only once its folder is on the disk.
    outcome.renamed = replacement_.target_path;
    if (sync_folder) outcome.reason = disk_.sync_folder(replacement_.target_path);
    outcome.result = outcome.reason ? WriteResult::written : WriteResult::not_durable;
  }

  void abandon() override { platform::abandon_replacement(replacement_); }

 private:
  // The target stays as it was: the temporary file goes, and the outcome says why.
  void give_up(WriteOutcome& outcome, WriteResult result, const platform::Status& reason) {
    abandon();
    record_failure(outcome, result, reason);
  }

  platform::Replacement replacement_;
  std::size_t chunks_written_ = 0;
  bool attributed_ = false;  // the temporary file has the target's attributes
};

class Shadow final : public Destination {
 public:
  using Destination::Destination;

  // Where the bytes would go, and what writing them would meet, found without making anything
  // beside the target.
  void open(WriteOutcome& outcome) override {
    platform::Status made = disk_.open_scratch(file_);
    if (!made) {
      outcome.reason_path = platform::scratch_folder();
      return record_failure(outcome, WriteResult::no_scratch, made);
    }
    platform::FileIdentity existing;
    platform::Status temp_file = disk_.may(target_.path, platform::Check::temp_file);
    platform::Status take_name = disk_.may(target_.path, platform::Check::take_name);
    platform::Status backup;
    if (backup_wanted() && disk_.identify(target_.path, existing)) {
      backup = disk_.may(backup_path(), platform::Check::backup);
    }
    if (!temp_file) {
      record_failure(outcome, WriteResult::no_temp_file, temp_file);
    } else if (!take_name) {
      record_failure(outcome, WriteResult::cannot_write, take_name);
    } else if (!backup) {
      outcome.reason_path = backup_path();
      record_failure(outcome, WriteResult::no_backup, backup);
    }
  }

  platform::Status write(std::string_view bytes) override { return disk_.write_all(file_, bytes); }

  // Only content that would be written stands for the file the next time it is named. A check
  // asked for is made on a named copy in the temporary folder, gone afterwards.
  void finish(WriteOutcome& outcome, bool, bool) override {
    if (!options_.validate.empty()) {
      platform::Replacement copy;
      platform::Status checked =
          disk_.begin_replacement(platform::scratch_folder() + "/zeltrim-check", copy);
      if (checked) {
        checked = platform::read_range(
            disk_, file_, 0, UINT64_MAX, kComparePiece,
            [this, &copy](std::string_view bytes) { return disk_.write_all(copy.temp, bytes); });
      }
      if (checked) checked = disk_.run_check(options_.validate, copy.temp_path);
      if (!checked) return record_failure(outcome, WriteResult::failed_validation, checked);
    }
    outcome.result = WriteResult::would_change;
    outcome.shadow = std::move(file_);
  }

 private:
  platform::File file_;
};
}  // namespace

class TargetWriter::Output {
 public:
  Output(platform::Disk& disk, Target& target, const TargetOptions& options)
      : disk_(disk),
        target_(target),
        options_(options),
        encoder_(disk, target, options),
        allowed_(disk.may(target.path, platform::Check::replace)),
        chunk_(mark_of(target.kind)) {
    if (options.no_write) {
      destination_ = std::make_unique<Shadow>(disk, target, options);
    } else {
      destination_ = std::make_unique<ReplacementFile>(disk, target, options);
    }
    if (options.diff) {
      outcome_.diff = platform::Spool(disk);
      diff_ = std::make_unique<LineDiff>(disk, target, options, outcome_.diff);
    }
  }

  void put(const Line& line) {
    // In a plain file lone CRs end a blank last line only where nothing follows it: read again,
    // they would begin the text of the line after it. Such a line waits to see what comes: a
    // line after it gives it the usual break, the end of the file its own.
    if (lone_crs_line_) {
      Line before = *lone_crs_line_;
      lone_crs_line_.reset();
      before.line_break = LineBreak::usual;
      write(before);
    }
    if (options_.keep_form && target_.kind == EncodingKind::plain && line.text.empty() &&
        (line.line_break == LineBreak::cr || line.line_break == LineBreak::cr_cr)) {
      lone_crs_line_ = line;
      return;
    }
    write(line);
  }

  void put_lines(std::string_view bytes) {
    if (failed() || discarding()) return;
    if (bytes.size() >= kChunk) {
      flush();
      pass_on(bytes);
      return;
    }
    chunk_.append(bytes);
    appended();
  }

  void write(const Line& line) {
    LineForm form = encoder_.form_of(line);
    if (diff_) diff_->put(line, form.gained, form.written);
    if (failed() || discarding()) return;
    if (!options_.keep_form && target_.kind == EncodingKind::plain && line.text.size() >= kChunk) {
      // A long line goes on as it is, not copied into the chunk first.
      flush();
      pass_on(line.text);
      chunk_.append(kCrLf);
    } else if (!encoder_.append(line, form, chunk_)) {
      refuse(WriteResult::would_lose_characters, platform::Status::lossy(platform::Loss::not_utf8));
    }
    appended();
  }

  void appended() {
    if (chunk_.size() >= kChunk) {
      flush();
    } else if (chunk_.size() >= kComparePiece && chunk_.capacity() < kChunk) {
      // The chunk grows as lines come and keeps its memory once cleared: a small file never pays
      // for a large buffer, and once a file is this large there is no more regrowing.
      chunk_.reserve(kChunk + kLineSpace);
    }
  }

  // What the new content comes to: nothing to write, unchanged, refused, or ready to be put in
  // place.
  void settle(bool any_line) {
    if (lone_crs_line_) write(*std::exchange(lone_crs_line_, std::nullopt));
    if (!any_line && target_.naming == Naming::existing) {
      destination_->abandon();
      outcome_.result = WriteResult::nothing_to_write;
      return;
    }
    std::string end;
    if (!any_line) {
      chunk_.clear();  // a .G target that never had a line becomes an empty file
    } else if (!encoder_.append_end(end)) {
      refuse(WriteResult::would_lose_characters, platform::Status::lossy(platform::Loss::not_utf8));
    }
    chunk_.append(end);
    flush();
    if (diff_) outcome_.diff_summary = diff_->finish(encoder_.original_form(), end, !any_line);
    if (failed()) return;
    // Every byte made was the same, and the old content goes no further: unchanged, and left
    // alone whoever may write it.
    if (same_ && original_ends_here()) {
      outcome_.result = WriteResult::unchanged;
      return;
    }
    if (!allowed_) return refuse(WriteResult::read_only, allowed_);
    if (same_) start_destination();  // the old content went on beyond the new
    ready_ = !failed();
  }

  void flush() {
    pass_on(chunk_);
    chunk_.clear();
  }

  // True when the old content holds exactly `bytes` at the place reached so far. It is read in
  // small pieces: where the content differs, it mostly differs early.
  bool same_as_original(std::string_view bytes) {
    if (!target_.original.is_open()) return false;
    old_bytes_.resize(std::min(bytes.size(), kComparePiece));
    for (std::size_t have = 0; have < bytes.size();) {
      std::size_t got = 0;
      if (!disk_.read_at(target_.original, compared_ + have, old_bytes_.data(),
                         std::min(bytes.size() - have, old_bytes_.size()), got) ||
          got == 0 || std::memcmp(old_bytes_.data(), bytes.data() + have, got) != 0) {
        return false;
      }
      have += got;
    }
    return true;
  }

  bool original_ends_here() {
    char extra = 0;
    std::size_t got = 0;
    return target_.original.is_open() &&
           disk_.read_at(target_.original, compared_, &extra, 1, got) && got == 0;
  }

  // The content differs from here on: it needs its destination, holding first the part that was
  // the same. A target that may not be replaced is refused at the end, before anything is made.
  void start_destination() {
    same_ = false;
    if (!allowed_) return;
    destination_->open(outcome_);
    if (failed()) {
      refused_ = true;
      return;
    }
    std::uint64_t copied = 0;
    platform::Status status =
        platform::read_range(disk_, target_.original, 0, compared_, kComparePiece,
                             [this, &copied](std::string_view bytes) {
                               copied += bytes.size();
                               return destination_->write(bytes);
                             });
    // The old content that was the same must all be there: ending early is a failure too.
    if (!status || copied < compared_) fail(WriteResult::cannot_write, status);
  }

  // New bytes, compared with the old content while they are the same, else written.
  void pass_on(std::string_view bytes) {
    if (failed() || discarding()) return;
    if (same_ && same_as_original(bytes)) {
      compared_ += bytes.size();
      return;
    }
    if (same_) start_destination();
    if (failed() || discarding()) return;
    platform::Status written = destination_->write(bytes);
    if (!written) fail(WriteResult::cannot_write, written);
  }

  // The content differs, and nothing needs the rest of it.
  bool discarding() const { return !same_ && !allowed_; }
  // The outcome says written until a failure is recorded in it.
  bool failed() const { return outcome_.result != WriteResult::written; }

  void fail(WriteResult result, const platform::Status& reason) {
    record_failure(outcome_, result, reason);
    destination_->abandon();
  }
  void refuse(WriteResult result, const platform::Status& reason) {
    fail(result, reason);
    refused_ = true;
  }

  platform::Disk& disk_;
  Target& target_;
  const TargetOptions& options_;
  Encoder encoder_;
  platform::Status allowed_;  // the target may be replaced
  std::string chunk_;         // made, not yet passed on
  std::unique_ptr<Destination> destination_;
  std::unique_ptr<LineDiff> diff_;
  std::optional<Line> lone_crs_line_;  // a blank line ended by lone CRs, waiting (see put)
  std::uint64_t compared_ = 0;         // how many bytes passed on equal the old content's
  std::string old_bytes_;              // old content read back, to compare
  WriteOutcome outcome_;
  // Every byte passed on so far equals the old content's: the destination is not asked for yet.
  bool same_ = true;
  bool refused_ = false;  // before any of the new content was written
  bool ready_ = false;    // complete in its destination, to be put in place
};

TargetWriter::TargetWriter(platform::Disk& disk, Target& target, const TargetOptions& options)
    : output_(std::make_unique<Output>(disk, target, options)) {}

TargetWriter::~TargetWriter() = default;

void TargetWriter::put(const Line& line) { output_->put(line); }

void TargetWriter::put_lines(std::string_view bytes) { output_->put_lines(bytes); }

LineDiff* TargetWriter::diff() { return output_->diff_.get(); }

bool TargetWriter::guessed_wrong(const FileForm& read) const {
  return output_->encoder_.guessed_wrong(read);
}

void TargetWriter::prepare(bool any_line) {
  output_->settle(any_line);
  // What was made is in its destination: the content may wait there with that of many targets.
  std::string().swap(output_->chunk_);
  std::string().swap(output_->old_bytes_);
}

bool TargetWriter::refused() const { return output_->refused_; }

platform::File* TargetWriter::waiting_file() {
  if (!output_->ready_ || output_->failed()) return nullptr;
  return output_->destination_->waiting_file(output_->outcome_);
}

WriteOutcome TargetWriter::commit(bool made_durable, bool sync_folder) {
  if (output_->ready_ && !output_->failed()) {
    output_->destination_->finish(output_->outcome_, made_durable, sync_folder);
  }
  return std::move(output_->outcome_);
}

}  // namespace zeltrim
