// Reading a target's lines as they come: the file is read in blocks, decoded to one byte per
// character, and cut into lines, so that a target of any size costs a block of memory.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "textfile/diff.h"
#include "textfile/encoding.h"
#include "textfile/target_file.h"

namespace zeltrim {

LineBreak FileForm::usual() const {
  if (lf > cr_lf && lf >= cr) return LineBreak::lf;
  if (cr > cr_lf && cr > lf) return LineBreak::cr;
  return LineBreak::cr_lf;
}

class TargetReader::Decoder {
  // Blocks are small enough to stay in the processor's cache, and fresh memory is costly to
  // touch: the text keeps space for one block and a line left over from the one before.
  static constexpr std::size_t kBlock = std::size_t{256} * 1024;
  static constexpr std::size_t kLeftOver = std::size_t{16} * 1024;

 public:
  Decoder(platform::Disk& disk, Target& target, const TargetOptions& options, bool empty)
      : disk_(disk),
        file_(target.original),
        kind_(target.kind),
        unit_(unit_size(target.kind)),
        options_(options),
        offset_(mark_of(target.kind).size()),  // the mark is no part of the text
        finished_(empty || !target.original.is_open()) {
    form_.complete = finished_;
    // A small file is read in one block of its own size: it never pays for a large buffer.
    std::optional<std::uint64_t> size =
        finished_ ? std::nullopt : platform::size_hint(disk_, file_);
    if (size && *size < kBlock) block_ = static_cast<std::size_t>(*size) + 1;
  }

  bool next(Line& line) {
    if (finished_) return false;
    return kind_ == EncodingKind::plain ? plain_line(line) : encoded_line(line);
  }

  std::string_view untouched_lines(const TargetReader::Sought& sought) {
    if (finished_ || kind_ != EncodingKind::plain || options_.keep_form || sought.size == 0) {
      return {};
    }
    if (begin_ == end_ && !fill()) return {};  // next() meets the end, or the failure
    std::string_view text(text_.get() + begin_, end_ - begin_);
    std::uint64_t here = offset_ - text.size();  // where the text begins in the file
    // The search goes on from where the last one stopped: an occurrence found is kept until
    // its line has gone, and the bytes before `clear_to_` hold none.
    if (sought_at_ != kNotFound && sought_at_ < here) {
      clear_to_ = sought_at_ + 1;
      sought_at_ = kNotFound;
    }
    if (sought_at_ == kNotFound) {
      std::size_t from = clear_to_ > here ? static_cast<std::size_t>(clear_to_ - here) : 0;
      std::size_t found = from < text.size() ? sought.find(text, from) : std::string_view::npos;
      if (found != std::string_view::npos) {
        sought_at_ = here + found;
      } else {
        // An occurrence may yet begin in the last bytes and go on in the next block.
        clear_to_ = here + text.size() - std::min(text.size(), sought.size - 1);
      }
    }
    std::size_t until =
        sought_at_ == kNotFound ? text.size() : static_cast<std::size_t>(sought_at_ - here);
    if (zero_at_ != kNoZero) until = std::min(until, zero_at_ - begin_);
    // Whole lines before that, each ended by CR LF, none beginning with the end mark.
    std::size_t taken = 0;
    std::uint64_t lines = 0;
    while (taken < until && text[taken] != kEndMark) {
      const void* found = std::memchr(text.data() + taken, '\n', until - taken);
      if (found == nullptr) break;
      std::size_t at = static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
      if (at == taken || text[at - 1] != '\r') break;
      taken = at + 1;
      ++lines;
    }
    begin_ += taken;
    origin_ += lines;
    form_.cr_lf += lines;
    return text.substr(0, taken);
  }

  LoadResult result = LoadResult::loaded;
  platform::Status reason;
  FileForm form_;

 private:
  // Reading stops for this reason. False, for the caller to return: there is no line.
  bool stop(LoadResult why) {
    result = why;
    return end();
  }
  bool lose(platform::Loss loss) {
    reason = platform::Status::lossy(loss);
    return stop(LoadResult::would_lose_characters);
  }

  // Reads and decodes the next block behind what is left of the text. False at the end of the
  // file or when reading failed.
  bool fill() {
    if (eof_ || finished_) return false;
    if (begin_ > 0) {
      std::memmove(text_.get(), text_.get() + begin_, end_ - begin_);
      end_ -= begin_;
      if (zero_at_ != kNoZero) zero_at_ -= begin_;
      begin_ = 0;
    }
    // Space for a block, decoded: in Unicode mode a unit of two bytes may take three.
    std::size_t wanted = options_.unicode ? block_ * kMostBytesPerUnit / 2 : block_;
    if (capacity_ < end_ + wanted) {
      capacity_ = capacity_ == 0 ? wanted + kLeftOver : std::max(2 * capacity_, end_ + wanted);
      // The text grows in place where it can: the system moves a large block's pages instead of
      // copying them, and pages never touched cost nothing. A line of many megabytes grows it
      // often.
      char* larger = static_cast<char*>(std::realloc(text_.get(), capacity_));
      if (larger == nullptr) throw std::bad_alloc();
      static_cast<void>(text_.release());  // realloc has freed it, or it is `larger`
      text_.reset(larger);
    }
    // Plain and UTF-8 text is read straight into the text; wide kinds behind the bytes of a code
    // unit that the block before ended in the middle of.
    if (unit_ > 1 && !raw_) raw_ = std::make_unique_for_overwrite<char[]>(block_ + unit_);
    char* into = unit_ == 1 ? text_.get() + end_ : raw_.get() + carried_;
    std::size_t got = 0;
    reason = disk_.read_at(file_, offset_, into, block_, got);
    if (!reason) return stop(LoadResult::cannot_read);
    offset_ += got;
    if (unit_ == 1) {
      // A zero byte cannot be carried through the edit: in a UTF-8 file it is a broken
      // character, in a plain one the mark of another encoding (unless it follows the end mark:
      // the lines that hold it are looked at as they are cut).
      const void* zero = zero_at_ == kNoZero ? std::memchr(text_.get() + end_, '\0', got) : nullptr;
      if (zero != nullptr) {
        if (kind_ == EncodingKind::utf8) return lose(platform::Loss::zero_byte);
        zero_at_ = static_cast<std::size_t>(static_cast<const char*>(zero) - text_.get());
      }
      end_ += got;
      eof_ = got == 0;
      return got > 0;
    }
    if (got == 0) {
      eof_ = true;
      form_.end_mark_byte = carried_ == 1;
      // A broken last unit loses a character, except the single end-mark byte that older
      // versions of this program wrote after the last unit; so does a surrogate without its
      // pair.
      if (carried_ > 1 || (carried_ == 1 && raw_[0] != kEndMark)) {
        return lose(platform::Loss::broken_unit);
      }
      if (pending_ != 0) return lose(platform::Loss::lone_surrogate);
      return false;
    }
    std::size_t bytes = carried_ + got;
    // A unit is 2 or 4 bytes here.
    carried_ = bytes % unit_;  // NOLINT(clang-analyzer-core.DivideZero)
    // One byte per character, where only U+0001 to U+00FF survive as bytes; in Unicode mode,
    // UTF-8.
    char* out = text_.get() + end_;
    if (auto loss = decode_units(kind_, {raw_.get(), bytes}, options_.unicode, pending_, out)) {
      return lose(*loss);
    }
    std::memmove(raw_.get(), raw_.get() + bytes - carried_, carried_);
    end_ = static_cast<std::size_t>(out - text_.get());
    return true;
  }

  // The line is read: it takes the next number, and its break is counted. True: there is a line.
  bool counted(Line& line) {
    line.origin = ++origin_;
    if (line.line_break == LineBreak::cr_lf) ++form_.cr_lf;
    if (line.line_break == LineBreak::lf) ++form_.lf;
    // In plain text a lone CR is no break (it ends only a blank last line): no added line takes it.
    if (line.line_break == LineBreak::cr && kind_ != EncodingKind::plain) ++form_.cr;
    return true;
  }

  // Where the next break lies behind begin_, reading more as needed: `at` is its offset from
  // begin_, or end_ - begin_ when the file ends first. False when reading failed.
  bool find_break(std::size_t& at) {
    for (;;) {
      std::string_view text(text_.get() + begin_, end_ - begin_);
      at = searched_;
      if (kind_ == EncodingKind::plain) {
        at = std::min(text.find('\n', at), text.size());
      } else {
        while (at < text.size() && text[at] != '\r' && text[at] != '\n') ++at;
      }
      // A CR at the end of what is read may be the first half of a CR LF.
      bool whole = at < text.size() &&
                   (text[at] == '\n' || kind_ == EncodingKind::plain || at + 1 < text.size());
      if (whole || eof_) return true;
      searched_ = at;
      if (!fill()) return result == LoadResult::loaded;
    }
  }

  // A plain file: lines end after each LF, and the CR LF or lone LF that ends a line is cut; a
  // lone CR stays in its text. A line that begins with the end mark ends the file.
  bool plain_line(Line& line) {
    if (begin_ == end_ && !fill()) return end();
    if (text_.get()[begin_] == kEndMark) return end_at_tail();
    std::size_t at = 0;
    if (!find_break(at)) return end();
    std::size_t length = std::min(at + 1, end_ - begin_);
    std::string_view bytes(text_.get() + begin_, length);
    begin_ += length;
    if (zero_at_ < begin_) return lose(platform::Loss::zero_byte);
    searched_ = 0;
    // A file typed at the console ends with the end mark right after its last line's text.
    if (at == length && bytes.ends_with(kEndMark)) {
      bytes.remove_suffix(1);
      keep_end_mark_after_last_line();
    }
    // A blank last line may end with one or two lone CRs instead.
    line.line_break = bytes.ends_with(kCrLf)  ? LineBreak::cr_lf
                      : bytes.ends_with('\n') ? LineBreak::lf
                      : bytes == "\r"         ? LineBreak::cr
                      : bytes == "\r\r"       ? LineBreak::cr_cr
                                              : LineBreak::none;
    bytes.remove_suffix(break_text(line.line_break).size());
    line.kind = bytes.empty() ? LineKind::blank : LineKind::text;
    line.text = bytes;
    return counted(line);
  }

  // Encoded text, one byte per character: CR LF, a lone CR and a lone LF each end one line.
  // Bytes after the last break form one more line unless they begin with the end mark.
  bool encoded_line(Line& line) {
    std::size_t at = 0;
    if (!find_break(at)) return end();
    std::string_view text(text_.get() + begin_, end_ - begin_);
    searched_ = 0;
    if (at < text.size()) {
      std::string_view rest = text.substr(at);
      line.line_break = rest.starts_with(kCrLf)  ? LineBreak::cr_lf
                        : rest.starts_with('\r') ? LineBreak::cr
                                                 : LineBreak::lf;
      line.kind = at == 0 ? LineKind::blank : LineKind::text;
      line.text = text.substr(0, at);
      begin_ += at + break_text(line.line_break).size();
    } else {
      if (text.empty()) return end();
      if (text.front() == kEndMark) return end_at_tail();
      line.kind = LineKind::text;
      line.line_break = LineBreak::none;
      // In UTF-8 too, a last line may run straight into the end mark.
      bool end_mark_after = kind_ == EncodingKind::utf8 && text.ends_with(kEndMark);
      line.text = text.substr(0, text.size() - (end_mark_after ? 1 : 0));
      begin_ = end_;
      if (end_mark_after) keep_end_mark_after_last_line();
    }
    return counted(line);
  }

  // The rest of the file follows the last line, and reading ends there. Where the file's own
  // form is kept, the rest is kept whole; where it is not, only where it lies is noted (it is
  // dropped, and the diff shows it go). False: there is no line.
  bool end_at_tail() {
    form_.tail_at = offset_ - (end_ - begin_);  // plain and UTF-8: the text is the bytes
    form_.tail_size = end_ - begin_;
    if (!options_.keep_form) {
      std::optional<std::uint64_t> size = platform::size_hint(disk_, file_);
      if (unit_ == 1 && size && *size > form_.tail_at) form_.tail_size = *size - form_.tail_at;
      begin_ = end_;
      return end();
    }
    do {
      form_.tail.append(text_.get() + begin_, end_ - begin_);
      begin_ = end_;
    } while (fill());
    form_.tail_size = form_.tail.size();
    return end();
  }

  // The end mark that is the last byte of the file, right after the last line's text: it ends
  // the file as a line that begins with it does.
  void keep_end_mark_after_last_line() {
    form_.tail_at = offset_ - 1;
    form_.tail_size = 1;
    if (options_.keep_form) form_.tail.assign(1, kEndMark);
  }

  // The last line has been read (or reading failed): the form is known when every line was
  // read. False: there is no line.
  bool end() {
    if (result == LoadResult::loaded) form_.complete = true;
    finished_ = true;
    return false;
  }

  platform::Disk& disk_;
  platform::File& file_;
  EncodingKind kind_;
  std::size_t unit_;
  const TargetOptions& options_;  // /k keeps what follows the last line; /u decodes to UTF-8
  std::uint32_t pending_ = 0;     // a UTF-16 high surrogate waiting for its low half
  std::uint64_t offset_;          // the next byte of the file to read
  std::size_t block_ = kBlock;    // how much one read asks for
  bool eof_ = false;
  bool finished_;
  std::uint64_t origin_ = 0;
  // Decoded text not yet cut into lines: text_[begin_, end_), in memory from realloc.
  std::unique_ptr<char, decltype(&std::free)> text_{nullptr, &std::free};
  std::size_t capacity_ = 0;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::size_t searched_ = 0;  // bytes behind begin_ known to hold no break
  // Where the first zero byte not yet cut into a line lies in the text (a plain file).
  static constexpr std::size_t kNoZero = SIZE_MAX;
  std::size_t zero_at_ = kNoZero;
  // untouched_lines(): where in the file the text it looks for was last found, and before where
  // it occurs nowhere.
  static constexpr std::uint64_t kNotFound = UINT64_MAX;
  std::uint64_t sought_at_ = kNotFound;
  std::uint64_t clear_to_ = 0;
  // Wide kinds: the bytes as read, behind the bytes of a code unit that the block before ended
  // in the middle of (moved to the front once the whole units were decoded).
  std::size_t carried_ = 0;
  std::unique_ptr<char[]> raw_;
};

TargetReader::TargetReader(platform::Disk& disk, Target& target, const TargetOptions& options,
                           bool whole_content, LineDiff* watcher)
    : decoder_(std::make_unique<Decoder>(disk, target, options,
                                         !whole_content && target.naming == Naming::created)),
      watcher_(watcher) {}

TargetReader::~TargetReader() = default;

bool TargetReader::next(Line& line) {
  if (watcher_ == nullptr) return decoder_->next(line);
  // The line before is about to go: the diff keeps what it needs of it.
  watcher_->read_on();
  bool read = decoder_->next(line);
  if (read) watcher_->read(line);
  return read;
}

std::string_view TargetReader::untouched_lines(const Sought& sought) {
  if (watcher_ != nullptr) return {};  // the diff meets every line
  return decoder_->untouched_lines(sought);
}

const FileForm& TargetReader::read_through(std::uint64_t most) {
  Line line;
  for (std::uint64_t read = 0; read < most && next(line); ++read) {
  }
  return form();
}

const FileForm& TargetReader::form() const { return decoder_->form_; }

LoadResult TargetReader::result() const { return decoder_->result; }

const platform::Status& TargetReader::reason() const { return decoder_->reason; }

}  // namespace zeltrim
