// Bytes held in the order they came, to be handed on later: in memory up to a limit, then in a
// scratch file, so that a large report or diff costs no more memory than a small one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace zeltrim::platform {

// Memory that several spools share: the one that finds it full moves its bytes to its file.
struct SpoolBudget {
  std::size_t limit = 0;
  std::size_t used = 0;
};

class Spool {
 public:
  explicit Spool(std::size_t memory_limit = kMemoryLimit) : memory_limit_(memory_limit) {}
  explicit Spool(SpoolBudget* budget) : budget_(budget) {}
  Spool(Spool&& other) noexcept { *this = std::move(other); }
  Spool& operator=(Spool&& other) noexcept;
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;
  ~Spool() { give_back(); }

  void append(std::string_view bytes);
  // Appends `format` with each %s or %d replaced by the next argument, as the console says it.
  void append_formatted(std::string_view format, std::initializer_list<std::string_view> arguments);
  bool empty() const { return in_file_ == 0 && in_memory_ == 0; }

  // Hands every byte held, in order and in pieces, to `take`; afterwards the spool is empty.
  void drain(const std::function<void(std::string_view)>& take);

  static constexpr std::size_t kMemoryLimit = 256 * 1024;

 private:
  std::string& last_block(std::size_t room);
  void spill_when_full();
  void give_back();  // the memory counted against the budget is free again

  std::size_t memory_limit_ = 0;
  // The newest bytes, in blocks that are filled and never moved: nothing is copied as it grows.
  std::vector<std::string> blocks_;
  std::size_t in_memory_ = 0;
  File file_;  // the older bytes, once memory was full
  std::uint64_t in_file_ = 0;
  bool file_failed_ = false;  // no scratch file could be had: memory holds everything
  SpoolBudget* budget_ = nullptr;
  std::size_t counted_ = 0;  // bytes counted against the budget
};

}  // namespace zeltrim::platform
