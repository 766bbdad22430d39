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
    attributes,   // giving the temporary file the target's attributes
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
  // While pending: how many calls of `step` the operation made since it was armed.
  int made(Step step, int skip) const { return skip - countdown_[static_cast<int>(step)]; }
  // True when the call made to fail was one of a replacement: its temporary file made, written,
  // given its attributes, synced or closed, the rename, the folder's sync or the backup. Others
  // may fail harmlessly.
  bool failed_replacement() const { return failed_replacement_; }

  using Status = platform::Status;
  using File = platform::File;
  Status open_for_reading(const std::string& path, platform::Accept accept, File& file) override {
    return fails(Step::open_read, false) ? injected() : real_.open_for_reading(path, accept, file);
  }
  Status read_some(File& file, char* to, std::size_t size, std::size_t& got) override {
    return fails(Step::read, false) ? (got = 0, injected()) : real_.read_some(file, to, size, got);
  }
  Status read_at(File& file, std::uint64_t at, char* to, std::size_t n, std::size_t& got) override {
    return fails(Step::read, false) ? (got = 0, injected()) : real_.read_at(file, at, to, n, got);
  }
  Status identify(File& file, platform::FileIdentity& identity) override {
    return real_.identify(file, identity);
  }
  Status identify(const std::string& path, platform::FileIdentity& identity) override {
    return real_.identify(path, identity);
  }
  Status lock(const std::string& path, File* opened, platform::TargetLock& lock,
              const std::function<void()>& waiting) override {
    return real_.lock(path, opened, lock, waiting);
  }
  Status may(const std::string& path, platform::Check check) override {
    return real_.may(path, check);
  }
  Status create_file(const std::string& path, File& file) override {
    return fails(Step::create, false) ? injected() : real_.create_file(path, file);
  }
  Status open_for_writing(const std::string& path, File& file) override {
    return fails(Step::create, false) ? injected() : real_.open_for_writing(path, file);
  }
  Status begin_replacement(const std::string& path, platform::Replacement& replacement) override {
    if (fails(Step::create_temp)) return injected();
    Status made = real_.begin_replacement(path, replacement);
    temp_ = {&replacement.temp, replacement.temp.handle()};
    return made;
  }
  Status write_all(File& file, std::string_view bytes) override {
    return fails(Step::write, is_temp(file)) ? injected() : real_.write_all(file, bytes);
  }
  void start_writing_out(File& file) override { real_.start_writing_out(file); }
  Status give_attributes(File& file, const platform::Replacement& replacement) override {
    return fails(Step::attributes) ? injected() : real_.give_attributes(file, replacement);
  }
  Status sync(File& file) override {
    return fails(Step::sync, is_temp(file)) ? injected() : real_.sync(file);
  }
  Status sync_all(const std::vector<File*>& files) override {
    return fails(Step::sync) ? injected() : real_.sync_all(files);
  }
  std::size_t most_waiting() override { return real_.most_waiting(); }
  // A close that fails has closed the file all the same.
  Status close_file(File& file) override {
    bool failed = fails(Step::close, is_temp(file));
    Status closed = real_.close_file(file);
    return failed ? injected() : closed;
  }
  Status rename(const std::string& from, const std::string& to) override {
    return fails(Step::rename) ? injected() : real_.rename(from, to);
  }
  void remove(const std::string& path) override { real_.remove(path); }
  Status sync_folder(const std::string& path) override {
    return fails(Step::sync_folder) ? injected() : real_.sync_folder(path);
  }
  Status keep_backup(const platform::Replacement& replacement, const std::string& path) override {
    return fails(Step::backup) ? injected() : real_.keep_backup(replacement, path);
  }
  Status open_scratch(File& file) override {
    return fails(Step::scratch, false) ? injected() : real_.open_scratch(file);
  }
  platform::Status run_check(const std::string& command, const std::string& path) override {
    return real_.run_check(command, path);
  }

 private:
  static Status injected() { return Status::injected(); }
  bool fails(Step step, bool on_replacement = true) {
    int& left = countdown_[static_cast<int>(step)];
    if (left < 0 || left-- != 0) return false;
    failed_replacement_ = on_replacement;
    return true;
  }
  bool is_temp(const File& file) const { return temp_ == std::pair{&file, file.handle()}; }

  platform::Disk& real_ = platform::system_disk();
  std::array<int, static_cast<int>(Step::count_)> countdown_{};
  std::pair<const File*, std::intptr_t> temp_{};  // the last temporary file made
  bool failed_replacement_ = false;
};

}  // namespace zeltrim
