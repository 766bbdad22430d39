// Bytes held in the order they came, to be handed on later: in memory up to a limit, then in a
// scratch file, so that a large report or diff costs no more memory than a small one. A run keeps
// all it holds this way in one scratch file, which many spools share, each in pieces of its own.
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

#include "platform/console.h"
#include "platform/files.h"

namespace zeltrim::platform {

// The scratch file the spools sharing it keep their older bytes in, and the memory all of them
// may hold together before the one that grows moves its bytes there.
struct SpoolFile {
  explicit SpoolFile(Disk& scratch_disk, std::size_t shared_limit = SIZE_MAX)
      : disk(scratch_disk), limit(shared_limit) {}

  Disk& disk;
  File file;
  std::uint64_t written = 0;  // bytes in the file; those after it wait in `pending`
  std::string pending;        // small pieces, written together
  std::size_t held = 0;       // bytes the spools hold in memory
  std::size_t limit;
  bool failed = false;  // a write failed half way: what came after is not read back
};

class Spool {
 public:
  // A spool without a disk keeps every byte in memory (one that is only a place to move to).
  Spool() = default;
  explicit Spool(Disk& disk, std::size_t memory_limit = kMemoryLimit)
      : memory_limit_(memory_limit), disk_(&disk) {}
  // A spool that keeps its older bytes in `file`, with the spools that share it.
  explicit Spool(std::shared_ptr<SpoolFile> file, std::size_t memory_limit = kMemoryLimit)
      : memory_limit_(memory_limit), disk_(&file->disk), own_file_(std::move(file)) {}
  Spool(Spool&& other) noexcept;
  Spool& operator=(Spool&& other) noexcept;
  ~Spool() { forget(); }

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
  void print(Console& console);
  // Forgets every byte held.
  void forget();

  static constexpr std::size_t kMemoryLimit = std::size_t{64} * 1024;

 private:
  void spill_when_full();
  bool spill();  // false when the file could not take the bytes
  // Puts `bytes` in the file after those it holds already; false, as spill, when it cannot.
  bool to_file(std::string_view bytes);
  SpoolFile* file();  // null where the spool has no disk
  void held_more(std::size_t bytes);
  void held_less(std::size_t bytes);

  std::size_t memory_limit_ = kMemoryLimit;
  Disk* disk_ = nullptr;  // where its scratch file is made
  std::string memory_;    // the newest bytes
  // The older ones: where each piece lies in the file, and how long it is.
  std::vector<std::pair<std::uint64_t, std::size_t>> pieces_;
  std::shared_ptr<SpoolFile> own_file_;
  bool spill_failed_ = false;  // no scratch file could take them: memory holds everything
};

}  // namespace zeltrim::platform
