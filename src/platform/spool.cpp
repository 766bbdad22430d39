#include "platform/spool.h"

#include <memory>

namespace zeltrim::platform {

namespace {
constexpr std::size_t kReadBlock = 1 << 20;
}  // namespace

void Spool::append(std::string_view bytes) {
  memory_.append(bytes);
  if (memory_.size() < memory_limit_ || file_failed_) return;
  // Spilled whole: a scratch file that cannot be had or written leaves the bytes in memory,
  // where they cost room but are not lost.
  if (!file_.is_open() && !open_scratch(file_)) {
    file_failed_ = true;
    return;
  }
  if (!write_all(file_, memory_)) {
    file_failed_ = true;
    return;
  }
  in_file_ += memory_.size();
  memory_.clear();
}

void Spool::drain(const std::function<void(std::string_view)>& take) {
  if (in_file_ > 0) {
    auto block = std::make_unique_for_overwrite<char[]>(kReadBlock);
    for (std::uint64_t offset = 0; offset < in_file_;) {
      std::size_t got = 0;
      if (!read_at(file_, offset, block.get(), kReadBlock, got) || got == 0) break;
      take({block.get(), got});
      offset += got;
    }
  }
  if (!memory_.empty()) take(memory_);
  memory_.clear();
  file_ = File();
  in_file_ = 0;
}

}  // namespace zeltrim::platform
