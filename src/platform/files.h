// The program's only way to the disk: files opened, read and written in binary mode, and a target
// replaced safely. Every step that reaches the disk goes through one Disk, the way the system
// gives it, so that a test can make any step fail on purpose and a port changes one folder.
// Paths are handed to the system unchanged, as bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zeltrim::platform {

// Why text could not be carried without losing a character.
enum class Loss : unsigned char {
  above_latin1,    // a UTF-16 or UTF-32 character above U+00FF, narrowed to a byte
  zero_character,  // U+0000
  zero_byte,       // a zero byte in plain or UTF-8 text
  lone_surrogate,  // a surrogate without its pair
  broken_unit,     // the text ends in the middle of a code unit
  beyond_unicode,  // a UTF-32 unit above U+10FFFF
  not_utf8,        // a line to be written as UTF-16 or UTF-32 is not UTF-8
};

// How a step went: done, or the reason it failed — the system's own error number (errno on
// POSIX, the last-error code on Windows) or one of the reasons the program gives itself.
class [[nodiscard]] Status {
 public:
  enum class Kind : unsigned char {
    done,
    system,
    not_a_file,
    injected,
    changed,
    lossy,
    exited,  // a validation command ended with a code other than 0
    killed,  // a validation command was ended by a signal
  };

  Status() = default;
  static Status system(long code) { return {Kind::system, code}; }
  static Status not_a_file() { return {Kind::not_a_file, 0}; }
  static Status injected() { return {Kind::injected, 0}; }
  static Status changed() { return {Kind::changed, 0}; }
  static Status lossy(Loss loss) { return {Kind::lossy, static_cast<long>(loss)}; }
  static Status exited(long code) { return {Kind::exited, code}; }
  static Status killed(long signal) { return {Kind::killed, signal}; }
  // The error the system reported for the call that just failed.
  static Status last_error();

  bool done() const { return kind_ == Kind::done; }
  explicit operator bool() const { return done(); }
  Kind kind() const { return kind_; }
  long code() const { return code_; }

 private:
  Status(Kind kind, long code) : kind_(kind), code_(code) {}
  Kind kind_ = Kind::done;
  long code_ = 0;
};

// The reason in words, as the system gives it ("Permission denied").
std::string describe(const Status& status);
// The system's own words for one of its error numbers.
std::string system_message(long code);

// Each system's way to close a file whose result nobody can act on any more (one going out of
// scope), and to let go of a target's lock.
void close_quietly(std::intptr_t handle);
void let_go(std::intptr_t handle);

// A handle the system gave, handed to `LetGo` when it goes out of scope or makes way for
// another. A handle moved onto itself stays as it was.
template <void (*LetGo)(std::intptr_t)>
class SystemHandle {
 public:
  SystemHandle() = default;
  SystemHandle(SystemHandle&& other) noexcept : handle_(other.release()) {}
  SystemHandle& operator=(SystemHandle&& other) noexcept {
    adopt(other.release());
    return *this;
  }
  ~SystemHandle() { adopt(kClosed); }

  bool is_open() const { return handle_ != kClosed; }
  std::intptr_t handle() const { return handle_; }
  void adopt(std::intptr_t handle) {
    if (is_open()) LetGo(handle_);
    handle_ = handle;
  }
  std::intptr_t release() { return std::exchange(handle_, kClosed); }

  static constexpr std::intptr_t kClosed = -1;

 private:
  std::intptr_t handle_ = kClosed;
};

// An open file. Going out of scope closes it without a check; Disk::close_file closes it with
// one.
using File = SystemHandle<close_quietly>;

// A target held against every other run of this program while it is edited; the system lets go
// when the process ends, however it ends.
using TargetLock = SystemHandle<let_go>;

// What may be opened for reading: targets must be regular files (a folder, a pipe or a device
// cannot be edited in place); an instruction file may also be a pipe or a device.
enum class Accept : unsigned char { regular_file, anything_but_folder };

class Disk;

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
  Disk* disk = nullptr;  // the Disk that made the temporary file, which removes it

  ~Replacement();  // cannot be copied or moved: the temporary file is removed once
};

// Which file a path or an open file is, and the signs that it changed: the same file on the
// same device, the same size and the same modification time.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // in the system's finest unit

  bool operator==(const FileIdentity& other) const = default;
};

// What a step on a path would meet, asked without taking it.
enum class Check : unsigned char {
  create,     // the file could be opened for writing, or made where it is missing
  replace,    // this user may replace the file: not when it is read-only (a new one may be tried)
  temp_file,  // a temporary file could be made in the folder of the file a link names
  take_name,  // a new file could take the name of the file a link names, in its folder
  backup,     // a backup could be made, or an old one replaced: not a folder, nor a name too long
};

// The steps a run takes on the disk. The program takes them as the system gives them
// (system_disk); a test hands the run a Disk that fails a step where it is told to.
class Disk {
 public:
  // Opens a file for reading without waiting on pipes that have no writer.
  virtual Status open_for_reading(const std::string& path, Accept accept, File& file) = 0;
  // Reads up to `size` bytes into `buffer`; `got` is 0 at the end of the file.
  virtual Status read_some(File& file, char* buffer, std::size_t size, std::size_t& got) = 0;
  // Reads up to `size` bytes from `offset` on, whatever the file's position; `got` is 0 at the
  // end. Several readers may share one open file this way, each at its own place.
  virtual Status read_at(File& file, std::uint64_t offset, char* buffer, std::size_t size,
                         std::size_t& got) = 0;
  // Which file an open file is: not_a_file for a pipe or a device.
  virtual Status identify(File& file, FileIdentity& identity) = 0;
  // Which file a path names, symbolic links followed.
  virtual Status identify(const std::string& path, FileIdentity& identity) = 0;
  // Holds a target against every other run of this program, as the system allows: asked before
  // the file is touched at all (`opened` null), and again once it is open for reading. While
  // another run holds it, it waits (calling `waiting` after about a second). Status::changed
  // where the name has come to stand for another file meanwhile (the run waited for replaced
  // it): that file is to be opened, and asked for, again.
  virtual Status lock(const std::string& path, File* opened, TargetLock& lock,
                      const std::function<void()>& waiting) = 0;
  // Whether the step `check` on `path` would be allowed.
  virtual Status may(const std::string& path, Check check) = 0;
  // Creates the file, or empties it when it exists, for writing.
  virtual Status create_file(const std::string& path, File& file) = 0;
  // Opens the file for writing without emptying it, or creates it empty when it is missing.
  virtual Status open_for_writing(const std::string& path, File& file) = 0;
  // Makes the temporary file for a replacement of `path`, beside it; the replacement keeps this
  // Disk to remove it.
  virtual Status begin_replacement(const std::string& path, Replacement& replacement) = 0;
  // Writes every byte or reports failure.
  virtual Status write_all(File& file, std::string_view bytes) = 0;
  // Asks the system to start writing the file out to the disk now, while more is still being
  // written, so that the sync at the end has less to wait for. Only a hint.
  virtual void start_writing_out(File& file) = 0;
  // Gives `file` (the new file of a replacement, or a backup's copy) the attributes the target of
  // `replacement` had.
  virtual Status give_attributes(File& file, const Replacement& replacement) = 0;
  // Flushes the file to the disk.
  virtual Status sync(File& file) = 0;
  // Flushes all the files to the disk together, as cheaply as the system allows (once for each
  // file system, where the system says what went wrong for any file of it); a failure may leave
  // any of them unsynced.
  virtual Status sync_all(const std::vector<File*>& files) = 0;
  // How many replacements may wait, their new content written, to be made durable together:
  // bounded by the files the process may hold open (1: each is made durable on its own).
  virtual std::size_t most_waiting() = 0;
  // Closes the file and reports what the system says (buffered data may have been lost).
  virtual Status close_file(File& file) = 0;
  // Gives the file at `from` the name `to`, in one step, replacing what had it.
  virtual Status rename(const std::string& from, const std::string& to) = 0;
  // Removes a file whose removal nobody can act on (a temporary file being given up).
  virtual void remove(const std::string& path) = 0;
  // Makes the names in the folder of `path` durable.
  virtual Status sync_folder(const std::string& path) = 0;
  // Keeps the target's present content as `backup_path`, durably, before it is replaced: the
  // file itself under a second name where the system allows (its owner, mode and times kept),
  // else a copy that reached the disk; an older backup is replaced, never written through.
  virtual Status keep_backup(const Replacement& replacement, const std::string& backup_path) = 0;
  // A file of the program's own in the system's temporary folder, gone when it is closed: space
  // for what a run must hold that may not fit in memory.
  virtual Status open_scratch(File& file) = 0;
  // Runs `command` (a shell's, where each %s stands for `path`) in the run's folder, its input
  // empty and its output sent to standard error, and waits for it: done when it ended with 0,
  // else how it ended (exited, killed) or why it could not be started.
  virtual Status run_check(const std::string& command, const std::string& path) = 0;

 protected:
  ~Disk() = default;
};

// The disk as the system gives it.
Disk& system_disk();

// The folder scratch files go in: TMPDIR, else /tmp (on Windows the system's temporary folder).
std::string scratch_folder();

// A key that is the same for every path that names one file: its identity when it exists, else
// its folder's identity and its own name (in the form the file system compares names).
std::string identity_key(Disk& disk, const std::string& path);

// Hands `take` the bytes of `file` from `offset` on, in pieces of at most `piece` bytes, until
// `size` bytes went or the file ended. Stops at the first failure, a read's or one `take`
// returns, and returns it; done otherwise (also where the file ended first).
Status read_range(Disk& disk, File& file, std::uint64_t offset, std::uint64_t size,
                  std::size_t piece, const std::function<Status(std::string_view)>& take);

// The file's size as far as the system knows it; only a hint for reserving memory.
std::optional<std::uint64_t> size_hint(Disk& disk, File& file);

// The bytes of a file, read whole into memory that is not cleared first: every byte of it is
// about to be overwritten by the read.
struct FileBytes {
  std::unique_ptr<char[]> block;
  std::size_t size = 0;
  std::string_view view() const { return {block.get(), size}; }
};

// Reads the rest of the file, into memory sized from the file where its size is known (a small
// file costs a small block, a pipe a large one).
Status read_whole(Disk& disk, File& file, FileBytes& bytes);

// Removes the temporary file; the target stays as it was.
void abandon_replacement(Replacement& replacement);

// The bytes that separate folders in a path.
#ifdef _WIN32
inline constexpr std::string_view kFolderSeparators = "/\\";
#else
inline constexpr std::string_view kFolderSeparators = "/";
#endif

// The part of a name that marks a temporary file of this program, for finding leftovers.
inline constexpr std::string_view kTempMarker = ".zeltrim-";

}  // namespace zeltrim::platform
