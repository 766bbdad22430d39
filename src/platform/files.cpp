// What every platform shares on top of its own file operations.
#include "platform/files.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zeltrim::platform {

namespace {
constexpr std::size_t kReadBlock = 1 << 20;
}  // namespace

bool read_whole(File& file, FileBytes& bytes) {
  long long hint = size_hint(file);
  // One byte more than the size, so a file of the expected size ends in one read.
  std::size_t capacity = hint >= 0 ? static_cast<std::size_t>(hint) + 1 : kReadBlock;
  bytes.block = std::make_unique_for_overwrite<char[]>(capacity);
  bytes.size = 0;
  for (;;) {
    if (bytes.size == capacity) {  // the file grew while it was read, or is a pipe
      capacity += std::max(capacity / 2, kReadBlock);
      auto larger = std::make_unique_for_overwrite<char[]>(capacity);
      std::memcpy(larger.get(), bytes.block.get(), bytes.size);
      bytes.block = std::move(larger);
    }
    long long n = read_some(file, bytes.block.get() + bytes.size, capacity - bytes.size);
    if (n < 0) return false;
    if (n == 0) return true;
    bytes.size += static_cast<std::size_t>(n);
  }
}

}  // namespace zeltrim::platform
