#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/system.h"

namespace zeltrim::platform {

namespace {

constexpr int kQuietWaits = 50;  // about a second of waiting before a word
constexpr struct timespec kQuietWait = {0, 20'000'000};
constexpr int kTempNameTries = 100;
constexpr std::string_view kTempPattern = "XXXXXX";  // what mkostemp makes a free name of
constexpr std::size_t kCopyBlock = 1 << 20;

int fd_of(const File& file) { return static_cast<int>(file.handle()); }

// Whether the kernel is 5.8 or later, where syncfs reports the errors of writing back.
bool syncfs_reports_errors() {
  static const bool reports = [] {
    struct utsname system;
    if (uname(&system) != 0) return false;
    char* minor = nullptr;
    unsigned long major = std::strtoul(system.release, &minor, 10);
    return major > 5 || (major == 5 && *minor == '.' && std::strtoul(minor + 1, nullptr, 10) >= 8);
  }();
  return reports;
}

// The longest name, in bytes, that the folder of `path` takes for a file in it.
std::size_t longest_name_beside(const std::string& path) {
  constexpr long kUsual = 255;
  long longest = pathconf(folder_of(path).c_str(), _PC_NAME_MAX);
  return static_cast<std::size_t>(longest > 0 ? longest : kUsual);
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

// Takes an open descriptor into `file` when it names what may be opened: for a target a regular
// file, opened without waiting on a pipe, which reads and writes as any file from then on; for
// anything else whatever is not a folder.
Status adopt_if(int fd, bool target, File& file) {
  if (fd < 0) return Status::last_error();
  file.adopt(fd);
  struct stat info;
  if (fstat(fd, &info) != 0) return Status::last_error();
  if (target ? !S_ISREG(info.st_mode) : S_ISDIR(info.st_mode)) {
    file = File();
    return S_ISDIR(info.st_mode) ? Status::system(EISDIR) : Status::not_a_file();
  }
  if (target) fcntl(fd, F_SETFL, 0);
  return {};
}

// Calls `read` again while a signal interrupts it; `got` is how many bytes it gave.
template <typename Read>
Status read_retrying(std::size_t& got, Read&& read) {
  ssize_t n = 0;
  do {
    n = read();
  } while (n < 0 && errno == EINTR);
  got = n < 0 ? 0 : static_cast<std::size_t>(n);
  return n < 0 ? Status::last_error() : Status();
}

// The identity in what stat or fstat filled in, when it succeeded (returned 0).
Status identity_of(int stat_result, const struct stat& info, FileIdentity& identity) {
  if (stat_result != 0) return Status::last_error();
  identity = {
      static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
      static_cast<std::uint64_t>(info.st_size),
      static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
  return {};
}

// A folder where only owners may remove or replace a file (the sticky bit) refuses this user
// `file` at `path`, when it is another's.
bool sticky_refuses(const std::string& path, const struct stat& file) {
  struct stat folder;
  uid_t user = geteuid();
  return stat(folder_of(path).c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) != 0 &&
         user != 0 && file.st_uid != user && folder.st_uid != user;
}

Status copy_into(Disk& disk, const std::string& from, const std::string& name,
                 const Replacement& target) {
  File source;
  if (Status opened = disk.open_for_reading(from, Accept::regular_file, source); !opened) {
    return opened;
  }
  File copy;
  int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return Status::last_error();
  copy.adopt(fd);
  Status copied = read_range(disk, source, 0, UINT64_MAX, kCopyBlock,
                             [&](std::string_view bytes) { return disk.write_all(copy, bytes); });
  if (!copied) return copied;
  struct stat info;
  if (fstat(fd_of(source), &info) != 0) return Status::last_error();
  if (Status given = disk.give_attributes(copy, target); !given) return given;
  const struct timespec times[2] = {info.st_atim, info.st_mtim};
  if (futimens(fd, times) != 0 || fsync(fd) != 0) return Status::last_error();
  return disk.close_file(copy);
}

// The disk as the system gives it.
class SystemDisk final : public Disk {
 public:
  Status open_for_reading(const std::string& path, Accept accept, File& file) override {
    // A target is opened without waiting, so a pipe with no writer cannot hang the run.
    bool target = accept == Accept::regular_file;
    int flags = O_RDONLY | O_CLOEXEC | (target ? O_NONBLOCK : 0);
    // Reading a target leaves even its access time alone, where the system lets this user.
    int fd = target ? open(path.c_str(), flags | O_NOATIME) : -1;
    if (fd < 0) fd = open(path.c_str(), flags);
    return adopt_if(fd, target, file);
  }

  Status read_some(File& file, char* buffer, std::size_t size, std::size_t& got) override {
    return read_retrying(got, [&] { return read(fd_of(file), buffer, size); });
  }

  Status read_at(File& file, std::uint64_t offset, char* buffer, std::size_t size,
                 std::size_t& got) override {
    auto at = static_cast<off_t>(offset);
    return read_retrying(got, [&] { return pread(fd_of(file), buffer, size, at); });
  }

  Status identify(File& file, FileIdentity& identity) override {
    struct stat info;
    Status status = identity_of(fstat(fd_of(file), &info), info, identity);
    return status && !S_ISREG(info.st_mode) ? Status::not_a_file() : status;
  }

  Status identify(const std::string& path, FileIdentity& identity) override {
    struct stat info;
    return identity_of(stat(path.c_str(), &info), info, identity);
  }

  // The lock is the system's lock on the file itself, taken once it is open. It is kept on a
  // second descriptor of the same open file, so that the target may be closed before it is
  // replaced and still be held until the replacement is in place.
  Status lock(const std::string& path, File* opened, TargetLock& lock,
              const std::function<void()>& waiting) override {
    if (opened == nullptr) return {};
    int fd = fd_of(*opened);
    // Waits for another run that holds the file; a file system without locks has nobody to wait
    // for.
    bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
    for (int wait = 0; !locked && wait < kQuietWaits; ++wait) {
      nanosleep(&kQuietWait, nullptr);
      locked = flock(fd, LOCK_EX | LOCK_NB) == 0;
    }
    if (!locked) {
      waiting();
      while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
    // The run waited for may have replaced the file: then the name stands for a new one.
    struct stat held;
    struct stat named;
    if (fstat(fd, &held) != 0 || stat(path.c_str(), &named) != 0 || held.st_dev != named.st_dev ||
        held.st_ino != named.st_ino) {
      return Status::changed();
    }
    int second = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (second < 0) return Status::last_error();
    lock.adopt(second);
    return {};
  }

  // What the permission bits say of each step, and a sticky folder of a name taken over.
  Status may(const std::string& path, Check check) override {
    struct stat info;
    switch (check) {
      case Check::create:
        if (path.empty()) return Status::system(ENOENT);  // as opening it for writing would say
        if (access(path.c_str(), F_OK) != 0) {
          if (errno != ENOENT) return Status::last_error();
          return status_of(access(folder_of(path).c_str(), W_OK | X_OK) == 0);
        }
        if (access(path.c_str(), W_OK) != 0 || stat(path.c_str(), &info) != 0) {
          return Status::last_error();
        }
        if (S_ISDIR(info.st_mode)) return Status::system(EISDIR);
        return S_ISREG(info.st_mode) ? Status() : Status::not_a_file();
      case Check::replace:  // a new file: the folder decides
        if (access(path.c_str(), F_OK) != 0) return {};
        return status_of(faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0);
      case Check::temp_file:
        return status_of(faccessat(AT_FDCWD, folder_of(resolve_links(path)).c_str(), W_OK | X_OK,
                                   AT_EACCESS) == 0);
      case Check::take_name: {
        std::string target = resolve_links(path);
        bool refused = stat(target.c_str(), &info) == 0 && sticky_refuses(target, info);
        return refused ? Status::system(EPERM) : Status();
      }
      case Check::backup:
        if (path.size() - name_start(path) > longest_name_beside(path)) {
          return Status::system(ENAMETOOLONG);
        }
        if (lstat(path.c_str(), &info) != 0) return {};
        if (S_ISDIR(info.st_mode)) return Status::system(EISDIR);
        return sticky_refuses(path, info) ? Status::system(EPERM) : Status();
    }
    return {};
  }

  Status create_file(const std::string& path, File& file) override {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    return adopt_if(fd, true, file);
  }

  Status open_for_writing(const std::string& path, File& file) override {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    return adopt_if(fd, true, file);
  }

  Status begin_replacement(const std::string& path, Replacement& replacement) override {
    replacement.disk = this;
    replacement.target_path = resolve_links(path);
    struct stat info;
    replacement.target_exists = stat(replacement.target_path.c_str(), &info) == 0;
    if (replacement.target_exists) {
      replacement.mode = info.st_mode & 07777;
      replacement.owner = info.st_uid;
      replacement.group = info.st_gid;
    } else {
      mode_t mask = umask(0);  // a new file gets what any new file would
      umask(mask);
      replacement.mode = 0666 & ~mask;
    }
    // Beside the target, so the rename stays within one file system.
    std::string temp_path = temp_name_beside(replacement.target_path, kTempPattern,
                                             longest_name_beside(replacement.target_path));
    InterruptsHeld held;
    // mkostemp makes the file with private permissions; it gets the target's once complete.
    int fd = mkostemp(temp_path.data(), O_CLOEXEC);
    if (fd < 0) return Status::last_error();
    replacement.temp.adopt(fd);
    replacement.temp_path = std::move(temp_path);  // cannot fail, so the file is always removed
    remember_temp_file(replacement.temp_path);
    return {};
  }

  Status write_all(File& file, std::string_view bytes) override {
    while (!bytes.empty()) {
      ssize_t put = write(fd_of(file), bytes.data(), bytes.size());
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return Status::last_error();
      if (put == 0) return Status::system(ENOSPC);
      bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return {};
  }

  void start_writing_out(File& file) override {
#ifdef SYNC_FILE_RANGE_WRITE
    sync_file_range(fd_of(file), 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    static_cast<void>(file);
#endif
  }

  // The new file gets the owner and the permission bits the target had.
  Status give_attributes(File& file, const Replacement& replacement) override {
    if (replacement.target_exists) {
      // The owner may only be kept where the process is allowed to set it.
      [[maybe_unused]] int ignored = fchown(fd_of(file), static_cast<uid_t>(replacement.owner),
                                            static_cast<gid_t>(replacement.group));
    }
    return status_of(fchmod(fd_of(file), static_cast<mode_t>(replacement.mode)) == 0);
  }

  Status sync(File& file) override { return status_of(fsync(fd_of(file)) == 0); }

  // From 5.8 on the kernel reports, to syncfs, what went wrong writing any file of the file
  // system since it was opened: then one call a file system makes them all durable. Before it,
  // each file is synced.
  Status sync_all(const std::vector<File*>& files) override {
    std::vector<dev_t> synced;
    for (File* file : files) {
      struct stat info;
      if (syncfs_reports_errors() && fstat(fd_of(*file), &info) == 0) {
        if (std::ranges::find(synced, info.st_dev) != synced.end()) continue;
        synced.push_back(info.st_dev);
        if (syncfs(fd_of(*file)) != 0) return Status::last_error();
      } else if (Status done = sync(*file); !done) {
        return done;
      }
    }
    return {};
  }

  // Each waiting replacement holds its lock and its temporary file open; the rest is left for the
  // run's other files.
  std::size_t most_waiting() override {
    constexpr std::size_t kMostWaiting = 256;
    constexpr rlim_t kFilesKept = 64;
    struct rlimit files;
    if (getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur <= 2 * kFilesKept) return 1;
    return std::min<std::size_t>(kMostWaiting, (files.rlim_cur - kFilesKept) / 2);
  }

  Status close_file(File& file) override {
    return status_of(!file.is_open() || close(static_cast<int>(file.release())) == 0);
  }

  // A temporary file that has taken its new name is no longer one to remove on interruption.
  Status rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return Status::last_error();
    forget_temp_file(from);
    return {};
  }

  void remove(const std::string& path) override {
    unlink(path.c_str());
    forget_temp_file(path);
  }

  // A name is only durable once the folder that holds it is on the disk too.
  Status sync_folder(const std::string& path) override {
    int folder = open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return Status::last_error();
    Status status = status_of(fsync(folder) == 0 || errno == EINVAL || errno == ENOTSUP);
    close(folder);
    return status;
  }

  // The backup is made under a free name beside it, as a second name of the target or else as a
  // copy, and then takes the backup's name. The free name is remembered while it is in use, so
  // that an interruption removes it; another run that takes it first only means another try.
  Status keep_backup(const Replacement& replacement, const std::string& backup_path) override {
    for (int attempt = 0; attempt < kTempNameTries; ++attempt) {
      std::string name =
          temp_name_beside(backup_path, kTempPattern, longest_name_beside(backup_path));
      {
        InterruptsHeld held;
        int fd = mkostemp(name.data(), O_CLOEXEC);  // only to find a free name
        if (fd < 0) return Status::last_error();
        close(fd);
        remember_temp_file(name);
      }
      unlink(name.c_str());
      Status made;
      if (link(replacement.target_path.c_str(), name.c_str()) != 0) {
        made = errno == EEXIST ? Status::system(EEXIST)
                               : copy_into(*this, replacement.target_path, name, replacement);
      }
      Status kept = made ? status_of(::rename(name.c_str(), backup_path.c_str()) == 0) : made;
      // Where the backup was already another name of the target, the rename leaves both names.
      remove(name);
      bool name_taken = !made && made.kind() == Status::Kind::system && made.code() == EEXIST;
      if (!name_taken) return kept ? sync_folder(backup_path) : kept;
    }
    return Status::system(EEXIST);
  }

  // The command gets the path as its first argument, so that no name, however it is spelt,
  // can be read as more of the command.
  Status run_check(const std::string& command, const std::string& path) override {
    std::string script;
    for (std::size_t at = 0; at < command.size(); ++at) {
      bool stand_in = command.compare(at, 2, "%s") == 0;
      script.append(stand_in ? "\"$1\"" : command.substr(at, 1));
      at += stand_in ? 1 : 0;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    std::string shell = "/bin/sh", option = "-c", name = "zeltrim-check";
    char* arguments[] = {
        shell.data(), option.data(), script.data(), name.data(), const_cast<char*>(path.c_str()),
        nullptr};
    pid_t child = 0;
    int spawned = posix_spawn(&child, shell.c_str(), &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return Status::system(spawned);
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
      if (errno != EINTR) return Status::last_error();
    }
    if (WIFSIGNALED(status)) return Status::killed(WTERMSIG(status));
    return WEXITSTATUS(status) == 0 ? Status() : Status::exited(WEXITSTATUS(status));
  }

  Status open_scratch(File& file) override {
    std::string base = scratch_folder();
    // A file without a name where the system makes one; else a name removed at once.
    int fd = open(base.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
      std::string name = base + "/zeltrim-scratch-XXXXXX";
      InterruptsHeld held;
      fd = mkostemp(name.data(), O_CLOEXEC);
      if (fd < 0) return Status::last_error();
      unlink(name.c_str());
    }
    file.adopt(fd);
    return {};
  }
};
}  // namespace

Status Status::last_error() { return system(errno); }

std::string system_message(long code) {
  char text[256] = "";
  // The GNU form returns the text, which may or may not be the buffer.
  return strerror_r(static_cast<int>(code), text, sizeof text);
}

std::size_t name_start(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

std::string folder_of(const std::string& path) {
  std::size_t start = name_start(path);
  if (start == 0) return ".";
  return path.substr(0, start == 1 ? 1 : start - 1);  // the root keeps its slash
}

std::string compared_name(std::string name) { return name; }

void close_quietly(std::intptr_t handle) { close(static_cast<int>(handle)); }

void let_go(std::intptr_t handle) { close(static_cast<int>(handle)); }

std::string scratch_folder() {
  const char* folder = std::getenv("TMPDIR");  // NOLINT(concurrency-mt-unsafe): one thread
  return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

Disk& system_disk() {
  static SystemDisk disk;
  return disk;
}

}  // namespace zeltrim::platform
