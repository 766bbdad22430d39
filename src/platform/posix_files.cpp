#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <utility>

#include "platform/faults.h"
#include "platform/files.h"
#include "platform/interrupts.h"

namespace zeltrim::platform {

namespace {

int fd_of(const File& file) { return static_cast<int>(file.handle()); }

// The folder a path lies in, for the temporary file and for syncing the new name.
std::string folder_of(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Follows symbolic links, so that the file a link names is replaced and the link stays.
std::string resolve_links(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
  return resolved ? std::string(resolved.get()) : path;
}

// Holds back the signals that end the program while the temporary file is made and remembered,
// so that an interruption never falls between the two and leaves the file behind.
class InterruptsHeld {
 public:
  InterruptsHeld() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &saved_);
  }
  ~InterruptsHeld() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;

 private:
  sigset_t saved_;
};

mode_t creation_mode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (is_open()) close(fd_of(*this));
    handle_ = other.release();
  }
  return *this;
}

File::~File() {
  if (is_open()) close(fd_of(*this));
}

bool open_for_reading(const std::string& path, Accept accept, File& file) {
  if (should_fail(Step::open_read)) return false;
  // A target is opened without waiting, so a pipe with no writer cannot hang the run.
  int flags = O_RDONLY | O_CLOEXEC | (accept == Accept::regular_file ? O_NONBLOCK : 0);
  int fd = open(path.c_str(), flags);
  if (fd < 0) return false;
  file = File();
  file.adopt(fd);
  struct stat info;
  if (fstat(fd, &info) != 0) return false;
  bool acceptable = accept == Accept::regular_file ? S_ISREG(info.st_mode) : !S_ISDIR(info.st_mode);
  if (!acceptable) {
    file = File();
    return false;
  }
  if (accept == Accept::regular_file) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return true;
}

long long read_some(File& file, char* buffer, std::size_t size) {
  if (should_fail(Step::read)) return -1;
  for (;;) {
    ssize_t got = read(fd_of(file), buffer, size);
    if (got >= 0 || errno != EINTR) return got;
  }
}

long long size_hint(File& file) {
  struct stat info;
  if (fstat(fd_of(file), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return info.st_size;
}

bool create_file(const std::string& path, File& file) {
  if (should_fail(Step::create)) return false;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return false;
  file = File();
  file.adopt(fd);
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    file = File();
    return false;
  }
  fcntl(fd, F_SETFL, 0);  // writes may block again, as on any file
  return true;
}

bool write_all(File& file, std::string_view bytes) {
  while (!bytes.empty()) {
    if (should_fail(Step::write)) return false;
    ssize_t put = write(fd_of(file), bytes.data(), bytes.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (put == 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

bool close_file(File& file) {
  if (!file.is_open()) return true;
  bool injected = should_fail(Step::close);
  int result = close(static_cast<int>(file.release()));
  return result == 0 && !injected;
}

bool may_replace(const std::string& path) {
  if (access(path.c_str(), F_OK) != 0) return true;  // a new file: the folder decides
  return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

Replacement::~Replacement() { abandon_replacement(*this); }

bool begin_replacement(const std::string& path, Replacement& replacement) {
  replacement.target_path = resolve_links(path);
  struct stat info;
  replacement.target_exists = stat(replacement.target_path.c_str(), &info) == 0;
  if (replacement.target_exists) {
    replacement.mode = info.st_mode & 07777;
    replacement.owner = info.st_uid;
    replacement.group = info.st_gid;
  } else {
    replacement.mode = creation_mode();
  }
  if (should_fail(Step::create_temp)) return false;

  // Beside the target, so the rename stays within one file system.
  std::string temp_path = replacement.target_path + std::string(kTempMarker) + "XXXXXX";
  InterruptsHeld held;
  // mkostemp makes the file with private permissions; it gets the target's once complete.
  int fd = mkostemp(temp_path.data(), O_CLOEXEC);
  if (fd < 0) return false;
  replacement.temp.adopt(fd);
  replacement.temp_path = std::move(temp_path);  // cannot fail, so the file is always removed
  remember_temp_file(replacement.temp_path);
  return true;
}

CommitResult commit_replacement(Replacement& replacement) {
  int fd = fd_of(replacement.temp);
  bool complete = !should_fail(Step::sync) && fsync(fd) == 0;
  if (complete && replacement.target_exists) {
    // The owner may only be kept where the process is allowed to set it.
    [[maybe_unused]] int ignored =
        fchown(fd, static_cast<uid_t>(replacement.owner), static_cast<gid_t>(replacement.group));
  }
  complete = complete && fchmod(fd, static_cast<mode_t>(replacement.mode)) == 0;
  complete = complete && close_file(replacement.temp);
  complete = complete && !should_fail(Step::rename) &&
             rename(replacement.temp_path.c_str(), replacement.target_path.c_str()) == 0;
  if (!complete) {
    abandon_replacement(replacement);
    return CommitResult::failed;
  }
  replacement.temp_path.clear();
  forget_temp_file();

  // The rename is only durable once the folder that holds the name is on the disk too.
  int folder = open(folder_of(replacement.target_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return CommitResult::not_durable;
  bool synced = !should_fail(Step::sync_folder) &&
                (fsync(folder) == 0 || errno == EINVAL || errno == ENOTSUP);
  close(folder);
  return synced ? CommitResult::done : CommitResult::not_durable;
}

void abandon_replacement(Replacement& replacement) {
  replacement.temp = File();
  if (!replacement.temp_path.empty()) {
    unlink(replacement.temp_path.c_str());
    replacement.temp_path.clear();
    forget_temp_file();
  }
}

}  // namespace zeltrim::platform
