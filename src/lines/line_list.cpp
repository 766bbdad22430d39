#include "lines/line_list.h"

#include <cstring>

namespace zeltrim {

namespace {
// Short texts share blocks of this size, so a million changed lines cost a few hundred
// allocations; a longer text gets a block of its own.
constexpr std::size_t kSmallBlock = 1 << 16;
constexpr std::size_t kOwnBlockFrom = kSmallBlock / 4;
}  // namespace

std::string_view TextStore::adopt(std::unique_ptr<char[]> block, std::size_t size) {
  blocks_.push_back(std::move(block));
  return {blocks_.back().get(), size};
}

std::string_view TextStore::keep(std::string_view text) {
  if (text.empty()) return {};
  if (text.size() >= std::min(kOwnBlockFrom, block_size_)) {
    auto block = std::make_unique_for_overwrite<char[]>(text.size());
    std::memcpy(block.get(), text.data(), text.size());
    return adopt(std::move(block), text.size());
  }
  if (free_size_ < text.size()) {
    // Blocks start small and grow, so that a few short lines cost a little memory.
    block_size_ = std::min(block_size_ * 2, kSmallBlock);
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(block_size_));
    free_ = blocks_.back().get();
    free_size_ = block_size_;
  }
  char* copy = free_;
  std::memcpy(copy, text.data(), text.size());
  free_ += text.size();
  free_size_ -= text.size();
  return {copy, text.size()};
}

Line TextStore::kept(Line line) {
  if (line.borrowed) {
    line.text = keep(line.text);
    line.borrowed = false;
  }
  return line;
}

}  // namespace zeltrim
