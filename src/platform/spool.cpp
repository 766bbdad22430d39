#include "platform/spool.h"

#include "platform/console.h"

namespace zeltrim::platform {

namespace {
constexpr std::size_t kReadBlock = std::size_t{256} * 1024;
// A spool that holds this many bytes makes space for all it may hold before it spills.
constexpr std::size_t kWorthSpilling = std::size_t{16} * 1024;
}  // namespace

void Spool::append(std::string_view bytes) {
  // Bytes that would fill the memory alone go to the file as they are, after those held.
  if (bytes.size() >= memory_limit_ && spill() && to_file(bytes)) return;
  memory_.append(bytes);
  spill_when_full();
}

void Spool::append_parts(std::initializer_list<std::string_view> parts) {
  for (std::string_view part : parts) memory_.append(part);
  spill_when_full();
}

void Spool::append_all(Spool& other) {
  if (other.empty()) return;  // as it is for nearly every line of a diff
  if (other.pieces_.empty()) {
    // Only memory to move: `other` keeps its share of the scratch file for what it holds next.
    append(other.memory_);
    other.memory_.clear();
    return;
  }
  if (file() != other.file() || !spill()) {
    return other.drain([this](std::string_view bytes) { append(bytes); });
  }
  pieces_.insert(pieces_.end(), other.pieces_.begin(), other.pieces_.end());
  other.pieces_.clear();
  append(other.memory_);
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
  if (memory_.size() >= memory_limit_) spill();
}

bool Spool::spill() {
  if (spill_failed_ || file() == nullptr) return false;
  if (memory_.empty()) return true;
  if (!to_file(memory_)) return false;
  memory_.clear();
  return true;
}

// A file that cannot take the bytes leaves them in memory, where they cost memory but are not lost;
// from then on the spool keeps everything there.
bool Spool::to_file(std::string_view bytes) {
  SpoolFile& to = *file();
  if (to.failed || (!to.file.is_open() && !to.disk.open_scratch(to.file)) ||
      !to.disk.write_all(to.file, bytes)) {
    to.failed = true;  // a write that failed half way is not read back: the bytes stay in memory
    spill_failed_ = true;
    return false;
  }
  pieces_.emplace_back(to.size, bytes.size());
  to.size += bytes.size();
  return true;
}

void Spool::print() {
  for (auto [offset, length] : pieces_) print_from(file()->disk, file()->file, offset, length);
  pieces_.clear();
  drain([](std::string_view bytes) { platform::print(bytes); });
}

void Spool::drain(const std::function<void(std::string_view)>& take) {
  for (auto [offset, length] : pieces_) {
    // A piece that cannot be read back is lost; the rest still go.
    static_cast<void>(read_range(file()->disk, file()->file, offset, length, kReadBlock,
                                 [&take](std::string_view bytes) {
                                   take(bytes);
                                   return Status();
                                 }));
  }
  if (!memory_.empty()) take(memory_);
  memory_.clear();
  pieces_.clear();
  own_file_.reset();
}

}  // namespace zeltrim::platform
