#include "platform/spool.h"

#include <memory>

#include "platform/console.h"

namespace zeltrim::platform {

namespace {
constexpr std::size_t kBlock = 1 << 16;
constexpr std::size_t kReadBlock = 1 << 20;
}  // namespace

std::string& Spool::last_block(std::size_t room) {
  if (blocks_.empty() || blocks_.back().size() + room > blocks_.back().capacity()) {
    blocks_.emplace_back().reserve(std::max(kBlock, room));
  }
  return blocks_.back();
}

void Spool::append(std::string_view bytes) {
  last_block(bytes.size()).append(bytes);
  in_memory_ += bytes.size();
  spill_when_full();
}

void Spool::append_formatted(std::string_view format,
                             std::initializer_list<std::string_view> arguments) {
  std::size_t room = format.size();
  for (std::string_view argument : arguments) room += argument.size();
  std::string& block = last_block(room);
  std::size_t before = block.size();
  platform::append_formatted(block, format, arguments);
  in_memory_ += block.size() - before;
  spill_when_full();
}

Spool& Spool::operator=(Spool&& other) noexcept {
  if (this != &other) {
    give_back();
    memory_limit_ = other.memory_limit_;
    blocks_ = std::move(other.blocks_);
    in_memory_ = other.in_memory_;
    file_ = std::move(other.file_);
    in_file_ = other.in_file_;
    file_failed_ = other.file_failed_;
    budget_ = other.budget_;
    counted_ = other.counted_;
    other.blocks_.clear();
    other.in_memory_ = 0;
    other.in_file_ = 0;
    other.counted_ = 0;
  }
  return *this;
}

void Spool::give_back() {
  if (budget_ != nullptr) budget_->used -= counted_;
  counted_ = 0;
}

void Spool::spill_when_full() {
  if (budget_ != nullptr) {
    budget_->used += in_memory_ - counted_;
    counted_ = in_memory_;
    if (budget_->used < budget_->limit || file_failed_) return;
  } else if (in_memory_ < memory_limit_ || file_failed_) {
    return;
  }
  // Spilled whole: a scratch file that cannot be had or written leaves the bytes in memory,
  // where they cost room but are not lost.
  if (!file_.is_open() && !open_scratch(file_)) {
    file_failed_ = true;
    return;
  }
  for (const std::string& block : blocks_) {
    if (!write_all(file_, block)) {
      file_failed_ = true;  // what was written is written again: the file is not read back
      return;
    }
  }
  in_file_ += in_memory_;
  blocks_.clear();
  in_memory_ = 0;
  give_back();
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
  for (const std::string& block : blocks_) take(block);
  blocks_.clear();
  in_memory_ = 0;
  file_ = File();
  in_file_ = 0;
  give_back();
}

}  // namespace zeltrim::platform
