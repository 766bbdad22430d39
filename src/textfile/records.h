// A target's lines between the passes of test mode, in the program's own record form: each
// line's origin, kind, break and text, one after the other in a scratch file that goes when it
// is closed. A copy in the file's own form would lose what the record keeps.
#pragma once

#include <cstdint>
#include <string>

#include "lines/line.h"
#include "platform/files.h"

namespace zeltrim {

struct Records {
  platform::File file;  // not open: no line at all
  std::uint64_t size = 0;
};

class RecordWriter {
 public:
  explicit RecordWriter(platform::Disk& disk) : disk_(disk) {}
  // Makes the scratch file; its reason when it cannot be made.
  platform::Status open();
  void put(const Line& line);
  // The lines written; a failure to write any of them is said here.
  platform::Status finish(Records& records);

 private:
  void flush();

  platform::Disk& disk_;
  Records records_;
  std::string buffer_;
  platform::Status status_;
};

class RecordReader {
 public:
  RecordReader(platform::Disk& disk, Records& records) : disk_(disk), records_(records) {}
  // The next line, its text valid until the next call; false at the end or when reading failed.
  bool next(Line& line);
  // Why reading stopped before the end, or done.
  const platform::Status& status() const { return status_; }

 private:
  bool have(std::size_t bytes);

  platform::Disk& disk_;
  Records& records_;
  platform::Status status_;
  std::uint64_t offset_ = 0;  // of the next byte to read
  std::string buffer_;
  std::size_t at_ = 0;  // the next record in the buffer
};

}  // namespace zeltrim
