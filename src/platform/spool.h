// Bytes held in the order they came, to be handed on later: in memory up to a limit, then in a
// scratch file, so that a large report or diff costs no more memory than a small one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace zeltrim::platform {

// A scratch file that many spools keep their older bytes in, each in pieces of its own.
struct SpoolFile {
  explicit SpoolFile(Disk& scratch_disk) : disk(scratch_disk) {}

  Disk& disk;
  File file;
  std::uint64_t size = 0;
  bool failed = false;  // a write failed half way: what came after is not read back
};

class Spool {
 public:
  // A spool without a disk keeps every byte in memory (one that is only a place to move to).
  Spool() = default;
  explicit Spool(Disk& disk, std::size_t memory_limit = kMemoryLimit)
      : memory_limit_(memory_limit), disk_(&disk) {}
  Spool(Spool&& other) noexcept = default;
  Spool& operator=(Spool&& other) noexcept = default;

  void append(std::string_view bytes);
  void append_parts(std::initializer_list<std::string_view> parts);
  // Every byte `other` holds, after these; `other` is left empty. Bytes it keeps in the scratch
  // file this spool keeps its own in are not copied.
  void append_all(Spool& other);
  // Keeps its older bytes in the same scratch file as `other`.
  void share_file_with(Spool& other);
  bool empty() const { return pieces_.empty() && memory_.empty(); }

  // Hands every byte held, in order and in pieces, to `take`; afterwards the spool is empty.
  void drain(const std::function<void(std::string_view)>& take);
  // Prints every byte held, in order; afterwards the spool is empty.
  void print();

  static constexpr std::size_t kMemoryLimit = std::size_t{64} * 1024;

 private:
  void spill_when_full();
  bool spill();  // false when the file could not take the bytes
  // Puts `bytes` in the file after those it holds already; false, as spill, when it cannot.
  bool to_file(std::string_view bytes);
  SpoolFile* file();  // null where the spool has no disk

  std::size_t memory_limit_ = kMemoryLimit;
  Disk* disk_ = nullptr;  // where its scratch file is made
  std::string memory_;    // the newest bytes
  // The older ones: where each piece lies in the file, and how long it is.
  std::vector<std::pair<std::uint64_t, std::size_t>> pieces_;
  std::shared_ptr<SpoolFile> own_file_;
  bool spill_failed_ = false;  // no scratch file could take them: memory holds everything
};

}  // namespace zeltrim::platform
