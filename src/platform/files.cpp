// What every platform shares on top of its own file operations.
#include "platform/files.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/interrupts.h"
#include "platform/system.h"

namespace zeltrim::platform {

namespace {
constexpr std::size_t kReadBlock = 1 << 20;
}  // namespace

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (is_open()) close_quietly(handle_);
    handle_ = other.release();
  }
  return *this;
}

File::~File() {
  if (is_open()) close_quietly(handle_);
}

void File::adopt(std::intptr_t handle) {
  if (is_open()) close_quietly(handle_);
  handle_ = handle;
}

Status read_whole(File& file, FileBytes& bytes) {
  std::optional<std::uint64_t> hint = size_hint(file);
  // One byte more than the size, so a file of the expected size ends in one read.
  std::size_t capacity = hint ? static_cast<std::size_t>(*hint) + 1 : kReadBlock;
  bytes.block = std::make_unique_for_overwrite<char[]>(capacity);
  bytes.size = 0;
  for (;;) {
    if (bytes.size == capacity) {  // the file grew while it was read, or is a pipe
      capacity += std::max(capacity / 2, kReadBlock);
      auto larger = std::make_unique_for_overwrite<char[]>(capacity);
      std::memcpy(larger.get(), bytes.block.get(), bytes.size);
      bytes.block = std::move(larger);
    }
    std::size_t got = 0;
    Status read = read_some(file, bytes.block.get() + bytes.size, capacity - bytes.size, got);
    if (!read) return read;
    if (got == 0) return {};
    bytes.size += got;
  }
}

std::string describe(const Status& status) {
  switch (status.kind()) {
    case Status::Kind::done:
      return "Success";
    case Status::Kind::not_a_file:
      return "Not a regular file";
    case Status::Kind::injected:
      return "Input/output error (a failure made on purpose by a test)";
    case Status::Kind::changed:
      return "Changed by another program since it was read (its size or modification time "
             "differ, or another file has taken its name)";
    case Status::Kind::system:
      break;
  }
  return system_message(status.code());
}

TargetLock& TargetLock::operator=(TargetLock&& other) noexcept {
  if (this != &other) {
    if (handle_ != kNone) let_go(handle_);
    handle_ = other.handle_;
    other.handle_ = kNone;
  }
  return *this;
}

TargetLock::~TargetLock() {
  if (handle_ != kNone) let_go(handle_);
}

void TargetLock::hold(std::intptr_t handle) {
  if (handle_ != kNone) let_go(handle_);
  handle_ = handle;
}

Replacement::~Replacement() { abandon_replacement(*this); }

void abandon_replacement(Replacement& replacement) {
  replacement.temp = File();
  if (!replacement.temp_path.empty()) {
    remove_quietly(replacement.temp_path);
    forget_temp_file(replacement.temp_path);
    replacement.temp_path.clear();
  }
}

}  // namespace zeltrim::platform
