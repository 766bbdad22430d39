#include "textfile/records.h"

#include <cerrno>
#include <cstring>

namespace zeltrim {

namespace {
constexpr std::size_t kBlock = std::size_t{64} * 1024;

// A record: the origin and the text's length as 8 bytes each, the kind and the break as one byte
// each, then the text.
struct Head {
  std::uint64_t origin;
  std::uint64_t length;
  unsigned char kind;
  unsigned char line_break;
};
constexpr std::size_t kHeadSize = 18;

void append_head(const Head& head, std::string& out) {
  char bytes[kHeadSize];
  std::memcpy(bytes, &head.origin, 8);
  std::memcpy(bytes + 8, &head.length, 8);
  bytes[16] = static_cast<char>(head.kind);
  bytes[17] = static_cast<char>(head.line_break);
  out.append(bytes, kHeadSize);
}

Head head_of(const char* bytes) {
  Head head{};
  std::memcpy(&head.origin, bytes, 8);
  std::memcpy(&head.length, bytes + 8, 8);
  head.kind = static_cast<unsigned char>(bytes[16]);
  head.line_break = static_cast<unsigned char>(bytes[17]);
  return head;
}
}  // namespace

platform::Status RecordWriter::open() { return disk_.open_scratch(records_.file); }

void RecordWriter::put(const Line& line) {
  append_head({line.origin, line.text.size(), static_cast<unsigned char>(line.kind),
               static_cast<unsigned char>(line.line_break)},
              buffer_);
  buffer_.append(line.text);
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
  Head head = head_of(buffer_.data() + at_);
  if (!have(kHeadSize + head.length)) return false;
  line.origin = head.origin;
  line.kind = static_cast<LineKind>(head.kind);
  line.line_break = static_cast<LineBreak>(head.line_break);
  line.text = std::string_view(buffer_.data() + at_ + kHeadSize, head.length);
  at_ += kHeadSize + head.length;
  return true;
}

}  // namespace zeltrim
