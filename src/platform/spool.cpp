#include "platform/spool.h"

#include <algorithm>
#include <numeric>

#include "platform/console.h"

namespace zeltrim::platform {

namespace {
constexpr std::size_t kReadBlock = std::size_t{256} * 1024;
// Under a full budget a spool gives its bytes to the file only once it holds this many, so
// that many spools of a line each do not make a write each.
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
  if (other.pieces_.empty() || file() != other.file() || !spill()) {
    other.drain([this](std::string_view bytes) { append(bytes); });
    return;
  }
  pieces_.insert(pieces_.end(), other.pieces_.begin(), other.pieces_.end());
  other.pieces_.clear();
  append(other.memory_);
  other.memory_.clear();
  other.give_back();
}

void Spool::share_file_with(Spool& other) {
  other.file();  // made now, so that both hold the same one
  own_file_ = other.own_file_;
}

void Spool::append_formatted(std::string_view format,
                             std::initializer_list<std::string_view> arguments) {
  bool long_argument = std::ranges::any_of(
      arguments, [this](auto argument) { return argument.size() >= memory_limit_; });
  if (long_argument) {
    return format_pieces(format, arguments, [this](std::string_view piece) { append(piece); });
  }
  format_pieces(format, arguments, [this](std::string_view piece) { memory_.append(piece); });
  spill_when_full();
}

Spool& Spool::operator=(Spool&& other) noexcept {
  if (this != &other) {
    give_back();
    memory_limit_ = other.memory_limit_;
    disk_ = other.disk_;
    memory_ = std::exchange(other.memory_, {});
    pieces_ = std::exchange(other.pieces_, {});
    own_file_ = std::move(other.own_file_);
    spill_failed_ = other.spill_failed_;
    budget_ = other.budget_;
    counted_ = std::exchange(other.counted_, 0);
  }
  return *this;
}

std::uint64_t Spool::size() const {
  return std::accumulate(pieces_.begin(), pieces_.end(), std::uint64_t{memory_.size()},
                         [](std::uint64_t sum, const auto& piece) { return sum + piece.second; });
}

void Spool::rewind(std::uint64_t size) {
  for (auto piece = pieces_.begin(); piece != pieces_.end(); ++piece) {
    if (size <= piece->second) {
      piece->second = static_cast<std::size_t>(size);
      pieces_.erase(piece + (size > 0 ? 1 : 0), pieces_.end());
      memory_.clear();
      give_back();
      return;
    }
    size -= piece->second;
  }
  if (size < memory_.size()) memory_.resize(static_cast<std::size_t>(size));
  if (budget_ != nullptr && counted_ > memory_.size()) {
    budget_->used -= counted_ - memory_.size();
    counted_ = memory_.size();
  }
}

void Spool::give_back() {
  if (budget_ != nullptr) budget_->used -= counted_;
  counted_ = 0;
}

SpoolFile* Spool::file() {
  if (budget_ != nullptr) return &budget_->file;
  if (!own_file_ && disk_ != nullptr) own_file_ = std::make_shared<SpoolFile>(*disk_);
  return own_file_.get();
}

void Spool::spill_when_full() {
  if (spill_failed_) return;
  // A spool that grows large keeps room for all it holds before it spills, and no more: fresh
  // memory is costly to touch.
  if (memory_.size() >= kWorthSpilling && memory_.capacity() < memory_limit_) {
    memory_.reserve(memory_limit_ + kWorthSpilling);
  }
  bool full = memory_.size() >= memory_limit_;
  if (budget_ != nullptr) {
    budget_->used += memory_.size() - counted_;
    counted_ = memory_.size();
    full = full || (budget_->used >= budget_->limit && memory_.size() >= kWorthSpilling);
  }
  if (full) spill();
}

bool Spool::spill() {
  if (spill_failed_ || file() == nullptr) return false;
  if (memory_.empty()) return true;
  if (!to_file(memory_)) return false;
  memory_.clear();
  give_back();
  return true;
}

// A file that cannot take the bytes leaves them in memory, where they cost room but are not lost;
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
  give_back();
}

}  // namespace zeltrim::platform
