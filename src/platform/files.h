// The program's only way to the disk: opening, reading and writing files in binary mode and
// replacing a target safely. Paths are handed to the system unchanged, as bytes.
// Nothing above this seam touches a file any other way, so a port or a test changes one folder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zeltrim::platform {

// An open file. Going out of scope closes it without a check; close_file closes it with one.
class File {
 public:
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = kClosed; }
  File& operator=(File&& other) noexcept;
  ~File();

  bool is_open() const { return handle_ != kClosed; }
  std::intptr_t handle() const { return handle_; }
  void adopt(std::intptr_t handle) { handle_ = handle; }
  std::intptr_t release() {
    std::intptr_t h = handle_;
    handle_ = kClosed;
    return h;
  }

  static constexpr std::intptr_t kClosed = -1;

 private:
  std::intptr_t handle_ = kClosed;
};

// What may be opened for reading: targets must be regular files (a folder, a pipe or a device
// cannot be edited in place); an instruction file may also be a pipe or a device.
enum class Accept { regular_file, anything_but_folder };

// Opens a file for reading without waiting on pipes that have no writer.
bool open_for_reading(const std::string& path, Accept accept, File& file);

// Reads up to `size` bytes: the count read, 0 at the end of the file, -1 on a read error.
long long read_some(File& file, char* buffer, std::size_t size);

// The file's size as far as the system knows it, or -1; only a hint for reserving memory.
long long size_hint(File& file);

// The bytes of a file, read whole into memory that is not cleared first: every byte of it is
// about to be overwritten by the read.
struct FileBytes {
  std::unique_ptr<char[]> block;
  std::size_t size = 0;
  std::string_view view() const { return {block.get(), size}; }
};

// Reads the rest of the file, into memory sized from the file where its size is known (a small
// file costs a small block, a pipe a large one). False on a read error.
bool read_whole(File& file, FileBytes& bytes);

// Creates the file, or empties it when it exists, for writing.
bool create_file(const std::string& path, File& file);

// Writes every byte or reports failure.
bool write_all(File& file, std::string_view bytes);

// Closes the file; false when the system reports an error (buffered data may be lost).
bool close_file(File& file);

// False when the target exists and this user may not write to it (a read-only file).
bool may_replace(const std::string& path);

// A target being rewritten: the new content goes to a temporary file beside the target and
// takes the target's place only when it is complete and on the disk.
struct Replacement {
  File temp;
  std::string temp_path;    // empty once committed or abandoned
  std::string target_path;  // the file the path names, symbolic links followed
  bool target_exists = false;
  std::uint32_t mode = 0;  // permission bits (or attributes) to give the new file
  long long owner = -1;
  long long group = -1;

  Replacement() = default;
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;
  ~Replacement();
};

// Makes the temporary file for a replacement of `path`. False when none can be made.
bool begin_replacement(const std::string& path, Replacement& replacement);

enum class CommitResult {
  done,         // the target now holds the new content, durably
  failed,       // the target is as it was; the temporary file is gone
  not_durable,  // the target holds the new content, but its folder could not be synced
};

// Flushes the temporary file to the disk, gives it the target's attributes and renames it over
// the target.
CommitResult commit_replacement(Replacement& replacement);

// Removes the temporary file; the target stays as it was.
void abandon_replacement(Replacement& replacement);

// The part of a name that marks a temporary file of this program, for finding leftovers.
inline constexpr std::string_view kTempMarker = ".zeltrim-";

}  // namespace zeltrim::platform
