// A Disk that fails a step where a test tells it to: the k-th call of one step, counted from
// when it is armed, and notes whether that call was one of a target's replacement. Every other
// call is the system's own.
#pragma once

#include <array>

#include "platform/files.h"

namespace zeltrim {

class FaultyDisk final : public platform::Disk {
 public:
  FaultyDisk() { countdown_.fill(-1); }
  enum class Step : unsigned char {
    open_read,    // opening a file for reading
    read,         // reading from an open file
    create,       // creating or opening a file for writing
    create_temp,  // making the temporary file of a safe replacement
    write,        // writing bytes to a file
    sync,         // flushing a file to the disk
    close,        // closing a file
    rename,       // putting the temporary file in the target's place
    sync_folder,  // making the new name durable
    backup,       // keeping a backup
    scratch,      // making a scratch file
    count_
  };

  // Makes the (skip + 1)-th following call of `step` fail, and no other.
  void fail(Step step, int skip = 0) {
    countdown_.fill(-1);
    countdown_[static_cast<int>(step)] = skip;
  }
  // True while the failure armed has not happened yet: the operation made fewer calls.
  bool pending(Step step) const { return countdown_[static_cast<int>(step)] >= 0; }
  // True when the call made to fail was one of a replacement: its temporary file made, written,
  // synced or closed, the rename, the folder's sync or the backup. Others may fail harmlessly.
  bool failed_replacement() const { return failed_replacement_; }

  platform::Status open_for_reading(const std::string& path, platform::Accept accept,
                                    platform::File& file) override {
    return failing(Step::open_read, false) ? injected()
                                           : real_.open_for_reading(path, accept, file);
  }
  platform::Status read_some(platform::File& file, char* buffer, std::size_t size,
                             std::size_t& got) override {
    got = 0;
    return failing(Step::read, false) ? injected() : real_.read_some(file, buffer, size, got);
  }
  platform::Status read_at(platform::File& file, std::uint64_t offset, char* buffer,
                           std::size_t size, std::size_t& got) override {
    got = 0;
    return failing(Step::read, false) ? injected() : real_.read_at(file, offset, buffer, size, got);
  }
  platform::Status create_file(const std::string& path, platform::File& file) override {
    return failing(Step::create, false) ? injected() : real_.create_file(path, file);
  }
  platform::Status open_for_writing(const std::string& path, platform::File& file) override {
    return failing(Step::create, false) ? injected() : real_.open_for_writing(path, file);
  }
  platform::Status begin_replacement(const std::string& path,
                                     platform::Replacement& replacement) override {
    if (failing(Step::create_temp)) return injected();
    platform::Status made = real_.begin_replacement(path, replacement);
    temp_ = {&replacement.temp, replacement.temp.handle()};
    return made;
  }
  platform::Status write_all(platform::File& file, std::string_view bytes) override {
    return failing(Step::write, is_temp(file)) ? injected() : real_.write_all(file, bytes);
  }
  platform::Status sync(platform::File& file) override {
    return failing(Step::sync, is_temp(file)) ? injected() : real_.sync(file);
  }
  // A close that fails has closed the file all the same.
  platform::Status close_file(platform::File& file) override {
    bool fails = failing(Step::close, is_temp(file));
    platform::Status closed = real_.close_file(file);
    return fails ? injected() : closed;
  }
  platform::Status rename(const std::string& from, const std::string& to) override {
    return failing(Step::rename) ? injected() : real_.rename(from, to);
  }
  platform::Status sync_folder(const std::string& path) override {
    return failing(Step::sync_folder) ? injected() : real_.sync_folder(path);
  }
  platform::Status keep_backup(const platform::Replacement& replacement,
                               const std::string& backup_path) override {
    return failing(Step::backup) ? injected() : real_.keep_backup(replacement, backup_path);
  }
  platform::Status open_scratch(platform::File& file) override {
    return failing(Step::scratch, false) ? injected() : real_.open_scratch(file);
  }

 private:
  static platform::Status injected() { return platform::Status::injected(); }
  bool failing(Step step, bool on_replacement = true) {
    int& left = countdown_[static_cast<int>(step)];
    if (left < 0 || left-- != 0) return false;
    failed_replacement_ = on_replacement;
    return true;
  }
  bool is_temp(const platform::File& file) const {
    return temp_ == std::pair{&file, file.handle()};
  }

  platform::Disk& real_ = platform::system_disk();
  std::array<int, static_cast<int>(Step::count_)> countdown_{};
  std::pair<const platform::File*, std::intptr_t> temp_{};  // the last temporary file made
  bool failed_replacement_ = false;
};

}  // namespace zeltrim
