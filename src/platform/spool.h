// Bytes held in the order they came, to be handed on later: in memory up to a limit, then in a
// scratch file, so that a large report or diff costs no more memory than a small one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace zeltrim::platform {

class Spool {
 public:
  explicit Spool(std::size_t memory_limit = kMemoryLimit) : memory_limit_(memory_limit) {}

  void append(std::string_view bytes);
  bool empty() const { return in_file_ == 0 && memory_.empty(); }

  // Hands every byte held, in order and in pieces, to `take`; afterwards the spool is empty.
  void drain(const std::function<void(std::string_view)>& take);

  static constexpr std::size_t kMemoryLimit = 256 * 1024;

 private:
  std::size_t memory_limit_;
  std::string memory_;  // the newest bytes
  File file_;           // the older ones, once memory was full
  std::uint64_t in_file_ = 0;
  bool file_failed_ = false;  // no scratch file could be had: memory holds everything
};

}  // namespace zeltrim::platform
