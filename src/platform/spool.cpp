#include "platform/spool.h"

namespace zeltrim::platform {

namespace {
constexpr std::size_t kReadBlock = std::size_t{256} * 1024;
// A spool that holds this many bytes makes space for all it may hold before it spills.
constexpr std::size_t kWorthSpilling = std::size_t{16} * 1024;
// Small pieces wait in memory until this many bytes of them can be written at once.
constexpr std::size_t kWrittenAtOnce = std::size_t{64} * 1024;
}  // namespace

Spool::Spool(Spool&& other) noexcept
    : memory_limit_(other.memory_limit_),
      disk_(other.disk_),
      memory_(std::exchange(other.memory_, {})),
      pieces_(std::exchange(other.pieces_, {})),
      own_file_(std::move(other.own_file_)),
      spill_failed_(other.spill_failed_) {}

Spool& Spool::operator=(Spool&& other) noexcept {
  if (this == &other) return *this;
  forget();
  memory_limit_ = other.memory_limit_;
  disk_ = other.disk_;
  memory_ = std::exchange(other.memory_, {});
  pieces_ = std::exchange(other.pieces_, {});
  own_file_ = std::move(other.own_file_);
  spill_failed_ = other.spill_failed_;
  return *this;
}

void Spool::held_more(std::size_t bytes) {
  if (own_file_) own_file_->held += bytes;
}

void Spool::held_less(std::size_t bytes) {
  if (own_file_) own_file_->held -= bytes;
}

void Spool::append(std::string_view bytes) {
  // Bytes that would fill the memory alone go to the file as they are, after those held.
  if (bytes.size() >= memory_limit_ && spill() && to_file(bytes)) return;
  memory_.append(bytes);
  held_more(bytes.size());
  spill_when_full();
}

void Spool::append_parts(std::initializer_list<std::string_view> parts) {
  for (std::string_view part : parts) {
    memory_.append(part);
    held_more(part.size());
  }
  spill_when_full();
}

void Spool::append_all(Spool& other) {
  if (other.empty()) return;  // as it is for nearly every line of a diff
  if (other.pieces_.empty()) {
    // Only memory to move: `other` keeps its share of the scratch file for what it holds next.
    append(other.memory_);
    other.held_less(other.memory_.size());
    other.memory_.clear();
    return;
  }
  if (file() != other.file() || !spill()) {
    return other.drain([this](std::string_view bytes) { append(bytes); });
  }
  pieces_.insert(pieces_.end(), other.pieces_.begin(), other.pieces_.end());
  other.pieces_.clear();
  append(other.memory_);
  other.held_less(other.memory_.size());
  other.memory_.clear();
}

void Spool::share_file_with(Spool& other) {
  other.file();  // made now, so that both hold the same one
  own_file_ = other.own_file_;
}

SpoolFile* Spool::file() {
  if (!own_file_ && disk_ != nullptr) own_file_ = std::make_shared<SpoolFile>(*disk_);
  return own_file_.get();
}

void Spool::spill_when_full() {
  if (spill_failed_) return;
  // A spool that grows large keeps space for all it holds before it spills, and no more: fresh
  // memory is costly to touch.
  if (memory_.size() >= kWorthSpilling && memory_.capacity() < memory_limit_) {
    memory_.reserve(memory_limit_ + kWorthSpilling);
  }
  if (memory_.size() >= memory_limit_ || (own_file_ && own_file_->held > own_file_->limit)) {
    spill();
  }
}

bool Spool::spill() {
  if (spill_failed_ || file() == nullptr) return false;
  if (memory_.empty()) return true;
  if (!to_file(memory_)) return false;
  held_less(memory_.size());
  // Spools that share a limit give their memory back; a single one keeps it for what comes next.
  if (own_file_->limit != SIZE_MAX) {
    std::string().swap(memory_);
  } else {
    memory_.clear();
  }
  return true;
}

// A file that cannot take the bytes leaves them in memory, where they cost memory but are not lost;
// from then on the spool keeps everything there.
bool Spool::to_file(std::string_view bytes) {
  SpoolFile& to = *file();
  auto write = [&to](std::string_view out) {
    if (to.failed || (!to.file.is_open() && !to.disk.open_scratch(to.file)) ||
        !to.disk.write_all(to.file, out)) {
      to.failed = true;  // a write that failed half way is not read back
      return false;
    }
    to.written += out.size();
    return true;
  };
  // A piece lies whole in the file or whole among those waiting to be written.
  bool large = bytes.size() >= kWrittenAtOnce;
  if ((large || to.pending.size() + bytes.size() >= kWrittenAtOnce) && !to.pending.empty()) {
    if (!write(to.pending)) {
      spill_failed_ = true;
      return false;
    }
    to.pending.clear();
  }
  std::uint64_t at = to.written + to.pending.size();
  if (large ? !write(bytes) : (to.pending.append(bytes), false)) {
    spill_failed_ = true;
    return false;
  }
  pieces_.emplace_back(at, bytes.size());
  return true;
}

void Spool::print(Console& console) {
  SpoolFile* from = file();
  for (auto [offset, length] : pieces_) {
    if (offset >= from->written) {
      console.print(std::string_view(from->pending).substr(offset - from->written, length));
    } else {
      console.print_from(from->disk, from->file, offset, length);
    }
  }
  pieces_.clear();
  console.print(memory_);
  held_less(memory_.size());
  memory_.clear();
}

void Spool::drain(const std::function<void(std::string_view)>& take) {
  SpoolFile* from = pieces_.empty() ? nullptr : file();
  for (auto [offset, length] : pieces_) {
    if (offset >= from->written) {
      take(std::string_view(from->pending).substr(offset - from->written, length));
      continue;
    }
    // A piece that cannot be read back is lost; the rest still go.
    static_cast<void>(read_range(from->disk, from->file, offset, length, kReadBlock,
                                 [&take](std::string_view bytes) {
                                   take(bytes);
                                   return Status();
                                 }));
  }
  pieces_.clear();
  if (!memory_.empty()) take(memory_);
  forget();
}

void Spool::forget() {
  held_less(memory_.size());
  memory_.clear();
  pieces_.clear();
}

}  // namespace zeltrim::platform
