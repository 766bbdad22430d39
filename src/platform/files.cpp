// What every platform shares on top of its own file operations.
#include "platform/files.h"

#include <algorithm>

namespace zeltrim::platform {

namespace {
constexpr std::size_t kReadBlock = 1 << 20;
}  // namespace

bool read_whole(File& file, std::string& bytes) {
  long long hint = size_hint(file);
  // One byte more than the size, so a file of the expected size ends in one read.
  std::size_t capacity = hint >= 0 ? static_cast<std::size_t>(hint) + 1 : kReadBlock;
  bytes.resize(capacity);
  std::size_t got = 0;
  for (;;) {
    if (got == bytes.size()) bytes.resize(bytes.size() + std::max(bytes.size() / 2, kReadBlock));
    long long n = read_some(file, bytes.data() + got, bytes.size() - got);
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return true;
}

}  // namespace zeltrim::platform
