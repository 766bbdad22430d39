// What command lines say while their target passes, held until it has passed and then printed
// in the order of the lines. A job may have a hundred thousand command lines, each saying a few
// lines: held words live in memory up to a limit shared by all, and beyond it in records of a
// scratch file, each record pointing back to the one before it of the same command line, so that
// a command line needs the same few bytes of memory however much it says.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace zeltrim {

// The scratch file of the records of all command lines, and the memory they may hold.
class HeldStore {
 public:
  HeldStore(platform::Disk& disk, std::size_t memory_limit) : disk_(disk), limit_(memory_limit) {}

  static constexpr std::uint64_t kNone = UINT64_MAX;

 private:
  friend class HeldWords;
  // A record: where the one before it of the same command line lies, how many bytes it holds,
  // then the bytes.
  struct Head {
    std::uint64_t previous;
    std::uint64_t size;
  };
  // Appends a record after `previous` (or none); where it lies, or kNone when the file cannot
  // take it (the bytes then stay where they were).
  std::uint64_t append(std::uint64_t previous, std::string_view bytes);
  // Reads `size` bytes from `offset` on, from the file or from what waits to be written.
  bool read(std::uint64_t offset, char* buffer, std::size_t size);

  platform::Disk& disk_;
  std::size_t limit_;
  std::size_t held_ = 0;  // bytes held in memory by all command lines
  platform::File file_;
  std::uint64_t written_ = 0;  // bytes in the file; those after it wait in `pending_`
  std::string pending_;
  // The block of the file read last, and where it lies: records are read back in about the
  // order they were written, so one read serves the small ones that lie together.
  std::string read_block_;
  std::uint64_t read_block_at_ = 0;
  bool failed_ = false;  // the file could not be made or written: everything stays in memory
};

// What one command line says: its report lines, and the lines about its problems that go to
// standard error; printed in that order.
class HeldWords {
 public:
  explicit HeldWords(HeldStore* store) : store_(store) {}
  HeldWords(const HeldWords&) = delete;
  HeldWords& operator=(const HeldWords&) = delete;
  ~HeldWords() { forget(); }

  // Says `format` with its %s replaced by `text`.
  void say(std::string_view format, std::string_view text);
  void tell(std::string line) { told_.push_back(std::move(line)); }
  // Hands every byte said, in order, to `take`, and forgets them.
  void drain(const std::function<void(std::string_view)>& take);
  // Prints what was said, then tells the problems on standard error.
  void print();
  // Forgets every word: the pass that said them is carried out again.
  void forget() {
    forget_said();
    told_.clear();
  }
  const std::vector<std::string>& told() const { return told_; }

 private:
  // Puts `bytes` in a record after the last one; false when the scratch file cannot take them.
  bool record(std::string_view bytes);
  // What is said in memory goes to a record; false, and it stays there, where it cannot.
  bool record_said();
  // Hands where each record's bytes lie and how many there are to `take`, oldest first.
  void each_record(const std::function<void(std::uint64_t, std::uint64_t)>& take);
  void forget_said();

  HeldStore* store_;
  std::string said_;                       // the newest bytes, after the records
  std::uint64_t last_ = HeldStore::kNone;  // the last record in the scratch file
  std::vector<std::string> told_;
};

}  // namespace zeltrim
