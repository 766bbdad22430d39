#include "textfile/records.h"

#include <cerrno>
#include <cstring>

namespace zeltrim {

namespace {
constexpr std::size_t kBlock = std::size_t{64} * 1024;

// A record: the origin and the text's length as 8 bytes each, the kind and the break as one byte
// each, then the text.
constexpr std::size_t kHeadSize = 18;
}  // namespace

platform::Status RecordWriter::open() { return disk_.open_scratch(records_.file); }

void RecordWriter::put(const Line& line) {
  char head[kHeadSize];
  std::uint64_t length = line.text.size();
  std::memcpy(head, &line.origin, 8);
  std::memcpy(head + 8, &length, 8);
  head[16] = static_cast<char>(line.kind);
  head[17] = static_cast<char>(line.line_break);
  buffer_.append(head, kHeadSize).append(line.text);
  if (buffer_.size() >= kBlock) flush();
}

void RecordWriter::flush() {
  if (status_ && !buffer_.empty()) status_ = disk_.write_all(records_.file, buffer_);
  records_.size += buffer_.size();
  buffer_.clear();
}

platform::Status RecordWriter::finish(Records& records) {
  flush();
  records = std::move(records_);
  return status_;
}

// Whether `bytes` of the records from at_ are in the buffer, reading more as needed.
bool RecordReader::have(std::size_t bytes) {
  if (buffer_.size() - at_ >= bytes) return true;
  buffer_.erase(0, at_);
  at_ = 0;
  while (buffer_.size() < bytes && offset_ < records_.size) {
    std::size_t held = buffer_.size();
    buffer_.resize(std::max(bytes, held + kBlock));
    std::size_t got = 0;
    status_ =
        disk_.read_at(records_.file, offset_, buffer_.data() + held, buffer_.size() - held, got);
    if (!status_ || got == 0) {
      if (status_) status_ = platform::Status::system(EIO);  // the records end too soon
      buffer_.resize(held);
      return false;
    }
    buffer_.resize(held + got);
    offset_ += got;
  }
  return buffer_.size() >= bytes;
}

bool RecordReader::next(Line& line) {
  if (!have(kHeadSize)) return false;
  std::uint64_t length = 0;
  std::memcpy(&length, buffer_.data() + at_ + 8, 8);
  if (!have(kHeadSize + length)) return false;
  const char* head = buffer_.data() + at_;
  std::memcpy(&line.origin, head, 8);
  line.kind = static_cast<LineKind>(head[16]);
  line.line_break = static_cast<LineBreak>(head[17]);
  line.text = std::string_view(head + kHeadSize, length);
  at_ += kHeadSize + length;
  return true;
}

}  // namespace zeltrim
