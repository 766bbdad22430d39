#include "commands/held_words.h"

#include <algorithm>
#include <cstring>

#include "platform/console.h"

namespace zeltrim {

namespace {
// A command line's own bytes go to a record once it holds this many, whatever the limit: few
// command lines that say much make few large records.
constexpr std::size_t kWorthWriting = std::size_t{64} * 1024;
// Records wait in memory until this many bytes of them can be written at once.
constexpr std::size_t kWrittenAtOnce = std::size_t{64} * 1024;
// Small records are read back a block at a time: reading this many bytes costs about what
// reading a few does.
constexpr std::size_t kReadBlock = std::size_t{4} * 1024;

bool read_fully(platform::Disk& disk, platform::File& file, std::uint64_t offset, char* buffer,
                std::size_t size) {
  for (std::size_t got = 0; size > 0; offset += got, buffer += got, size -= got) {
    if (!disk.read_at(file, offset, buffer, size, got) || got == 0) return false;
  }
  return true;
}
}  // namespace

std::uint64_t HeldStore::append(std::uint64_t previous, std::string_view bytes) {
  if (failed_ || (!file_.is_open() && !disk_.open_scratch(file_))) {
    failed_ = true;
    return kNone;
  }
  std::uint64_t at = written_ + pending_.size();
  const Head head{previous, bytes.size()};
  char head_bytes[sizeof head];
  std::memcpy(head_bytes, &head, sizeof head);
  pending_.append(head_bytes, sizeof head);
  // A large record goes straight to the file behind those waiting; small ones wait together.
  bool large = bytes.size() >= kWrittenAtOnce;
  if (!large) pending_.append(bytes);
  if (large || pending_.size() >= kWrittenAtOnce) {
    // A write that fails leaves its bytes waiting in memory, where they are still read; a
    // large record not written is not kept.
    if (!disk_.write_all(file_, pending_)) {
      failed_ = true;
      if (large) pending_.resize(pending_.size() - sizeof head);
      return large ? kNone : at;
    }
    written_ += std::exchange(pending_, {}).size();
    if (large) {
      if (!disk_.write_all(file_, bytes)) {
        // The head is in the file, but the record's place is never handed out again.
        failed_ = true;
        return kNone;
      }
      written_ += bytes.size();
    }
  }
  return at;
}

bool HeldStore::read(std::uint64_t offset, char* buffer, std::size_t size) {
  if (offset >= written_) {
    pending_.copy(buffer, size, static_cast<std::size_t>(offset - written_));
    return true;
  }
  auto in_block = [&] {
    return offset >= read_block_at_ && offset + size <= read_block_at_ + read_block_.size();
  };
  if (size <= kReadBlock && !in_block()) {
    // A block from here on, as far as the file goes: it holds the whole record.
    read_block_.resize(std::min<std::size_t>(kReadBlock, written_ - offset));
    read_block_at_ = offset;
    if (!read_fully(disk_, file_, offset, read_block_.data(), read_block_.size())) {
      read_block_.clear();
      return false;
    }
  }
  if (!in_block()) return read_fully(disk_, file_, offset, buffer, size);
  std::memcpy(buffer, read_block_.data() + (offset - read_block_at_), size);
  return true;
}

bool HeldWords::record(std::string_view bytes) {
  std::uint64_t at = store_->append(last_, bytes);
  if (at == HeldStore::kNone) return false;
  last_ = at;
  return true;
}

bool HeldWords::record_said() {
  if (said_.empty()) return true;
  if (!record(said_)) return false;
  store_->held_ -= said_.size();
  std::string().swap(said_);
  return true;
}

void HeldWords::say(std::string_view format, std::string_view text) {
  platform::format_pieces(format, {text}, [this](std::string_view piece) {
    // A long text goes to a record of its own behind what was said before it, never through
    // memory; where the scratch file cannot take it, it stays in memory.
    if (piece.size() >= kWorthWriting && record_said() && record(piece)) return;
    said_.append(piece);
    store_->held_ += piece.size();
  });
  if (said_.size() >= kWorthWriting || store_->held_ > store_->limit_) record_said();
}

void HeldWords::each_record(const std::function<void(std::uint64_t, std::uint64_t)>& take) {
  // The records, last one first; a record that cannot be read back is lost, with those before it.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> records;
  for (std::uint64_t at = last_; at != HeldStore::kNone;) {
    HeldStore::Head head{};
    char head_bytes[sizeof head];
    if (!store_->read(at, head_bytes, sizeof head)) break;
    std::memcpy(&head, head_bytes, sizeof head);
    records.emplace_back(at + sizeof head, head.size);
    at = head.previous;
  }
  std::for_each(records.rbegin(), records.rend(),
                [&take](const auto& record) { take(record.first, record.second); });
}

void HeldWords::drain(const std::function<void(std::string_view)>& take) {
  std::string bytes;
  each_record([&](std::uint64_t at, std::uint64_t size) {
    bytes.resize(static_cast<std::size_t>(size));
    if (store_->read(at, bytes.data(), bytes.size())) take(bytes);
  });
  if (!said_.empty()) take(said_);
  forget_said();
}

void HeldWords::print() {
  // Large records already in the file go from it to the output without passing through memory.
  std::string bytes;
  each_record([&](std::uint64_t at, std::uint64_t size) {
    if (size > kReadBlock && at + size <= store_->written_) {
      return platform::print_from(store_->disk_, store_->file_, at, size);
    }
    bytes.resize(static_cast<std::size_t>(size));
    if (store_->read(at, bytes.data(), bytes.size())) platform::print(bytes);
  });
  platform::print(said_);
  forget_said();
  for (const std::string& line : told_) platform::tell_error(line);
  told_.clear();
}

void HeldWords::forget_said() {
  store_->held_ -= said_.size();
  std::string().swap(said_);
  last_ = HeldStore::kNone;
}

}  // namespace zeltrim
