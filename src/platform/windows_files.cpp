// Files on Windows, through the narrow (byte) file API: a path such as C:\AUTOEXEC.BAT is
// handed to the system exactly as the instruction file spells it. Every file is opened in
// binary mode; nothing here translates line ends.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "platform/system.h"

namespace zeltrim::platform {

namespace {

HANDLE handle_of(const File& file) { return reinterpret_cast<HANDLE>(file.handle()); }

// One call moves at most this much, since the system counts bytes in 32 bits.
constexpr DWORD kLargestTransfer = 1u << 30;

// Only a file on a disk can be edited in place: a console, a printer port, NUL or a pipe
// cannot be read whole or replaced.
bool is_disk_file(HANDLE handle) { return GetFileType(handle) == FILE_TYPE_DISK; }

// Opens a file as CreateFileA does; one that must be on a disk and is not is closed again.
Status open_handle(const std::string& path, DWORD access, DWORD sharing, DWORD disposition,
                   bool disk_only, File& file, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  HANDLE handle = CreateFileA(path.c_str(), access, sharing, nullptr, disposition, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Status::last_error();
  file.adopt(reinterpret_cast<std::intptr_t>(handle));
  if (disk_only && !is_disk_file(handle)) {
    file = File();
    return Status::not_a_file();
  }
  return {};
}

// Reads with ReadFile, from `at` where it is given; the error `end` only means the end.
Status read_handle(File& file, char* buffer, std::size_t size, std::size_t& got, OVERLAPPED* at,
                   DWORD end) {
  DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, kLargestTransfer));
  DWORD read = 0;
  bool done = ReadFile(handle_of(file), buffer, wanted, &read, at);
  got = done ? read : 0;
  return status_of(done || GetLastError() == end);
}

// The attributes a rewritten target keeps: hidden and system files stay so. Read-only is left
// out, since a read-only target is refused before any temporary file is made, and a read-only
// temporary file could not be removed again. The archive bit is set, as on any changed file.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

constexpr int kTempNameTries = 100;
constexpr std::size_t kTempSuffixLength = 6;
constexpr DWORD kQuietWaitMilliseconds = 1000;  // before a word is said

// A name in a folder takes at most this many characters on every file system of the system.
constexpr std::size_t kLongestName = 255;

// Six letters or digits that differ from run to run and from try to try.
std::string temp_suffix() {
  static std::atomic<unsigned long long> counter{0};
  unsigned long long seed = GetTickCount64() * 0x9E3779B97F4A7C15ull ^
                            (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) ^
                            counter.fetch_add(0x632BE59BD9B4E019ull);
  constexpr std::string_view kDigits = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string suffix;
  for (std::size_t i = 0; i < kTempSuffixLength; ++i) {
    seed ^= seed >> 29;
    seed *= 0xBF58476D1CE4E5B9ull;
    suffix.push_back(kDigits[(seed >> 40) % kDigits.size()]);
  }
  return suffix;
}

// The name of the lock of the file a path names: the same for every spelling of the path that
// leads to it, whatever its letter case. The file itself is not opened: a run that holds the
// lock could not replace a file that a waiting run holds open.
std::string lock_name(const std::string& path) {
  std::string full(GetFullPathNameA(path.c_str(), 0, nullptr, nullptr), '\0');
  DWORD length =
      GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  full.resize(length > 0 && length < full.size() ? length : 0);
  if (full.empty()) full = path;
  std::uint64_t hash = 1469598103934665603ull;  // FNV-1a over the name in upper case
  for (char c : full) {
    hash ^= static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    hash *= 1099511628211ull;
  }
  char name[64];
  std::snprintf(name, sizeof name, "Local\\zeltrim-lock-%016llx",
                static_cast<unsigned long long>(hash));
  return name;
}

// The identity of an open file or folder.
Status identity_of(HANDLE handle, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return Status::last_error();
  auto wide = [](DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; };
  const FILETIME& modified = info.ftLastWriteTime;
  identity = {info.dwVolumeSerialNumber, wide(info.nFileIndexHigh, info.nFileIndexLow),
              wide(info.nFileSizeHigh, info.nFileSizeLow),
              static_cast<std::int64_t>(wide(modified.dwHighDateTime, modified.dwLowDateTime))};
  return {};
}

// The disk as the system gives it.
class SystemDisk final : public Disk {
 public:
  Status open_for_reading(const std::string& path, Accept accept, File& file) override {
    // A folder cannot be opened this way at all; other programs may go on reading and writing.
    return open_handle(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                       accept == Accept::regular_file, file);
  }

  // A pipe whose writer has gone has simply ended.
  Status read_some(File& file, char* buffer, std::size_t size, std::size_t& got) override {
    return read_handle(file, buffer, size, got, nullptr, ERROR_BROKEN_PIPE);
  }

  Status read_at(File& file, std::uint64_t offset, char* buffer, std::size_t size,
                 std::size_t& got) override {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return read_handle(file, buffer, size, got, &at, ERROR_HANDLE_EOF);
  }

  Status identify(File& file, FileIdentity& identity) override {
    if (!is_disk_file(handle_of(file))) return Status::not_a_file();
    return identity_of(handle_of(file), identity);
  }

  Status identify(const std::string& path, FileIdentity& identity) override {
    // Folders open only with backup semantics; no access is asked for, so nothing is refused.
    File opened;
    Status status = open_handle(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                OPEN_EXISTING, false, opened, FILE_FLAG_BACKUP_SEMANTICS);
    return status ? identity_of(handle_of(opened), identity) : status;
  }

  // Windows will not replace a file that is open, so the lock cannot be the file's own: it is a
  // named mutex for the file's path, taken before the file is opened, which lives on while the
  // file is closed and replaced. The system gives it up when the process ends, however it ends.
  Status lock(const std::string& path, File* opened, TargetLock& lock,
              const std::function<void()>& waiting) override {
    if (opened != nullptr) return {};
    HANDLE mutex = CreateMutexA(nullptr, FALSE, lock_name(path).c_str());
    if (mutex == nullptr) return {};  // no lock to be had: nobody to wait for either
    DWORD waited = WaitForSingleObject(mutex, kQuietWaitMilliseconds);
    if (waited == WAIT_TIMEOUT) {
      waiting();
      waited = WaitForSingleObject(mutex, INFINITE);
    }
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
      Status failed = Status::last_error();
      CloseHandle(mutex);
      return failed;
    }
    lock.adopt(reinterpret_cast<std::intptr_t>(mutex));
    return {};
  }

  // Who may write where is decided by the folders' access lists, which only trying tells. What
  // is seen: a folder for the temporary file that is gone, a name too long for a backup, and a
  // read-only file or a folder where a file is to be written (a folder where a backup is to go).
  Status may(const std::string& path, Check check) override {
    if (check == Check::take_name) return {};
    if (check == Check::create && path.empty()) {
      return Status::system(ERROR_PATH_NOT_FOUND);  // as opening it would say
    }
    if (check == Check::backup && path.size() - name_start(path) > kLongestName) {
      return Status::system(ERROR_FILENAME_EXCED_RANGE);
    }
    std::string folder = path.substr(0, name_start(path));
    const char* asked = check != Check::temp_file ? path.c_str()
                        : folder.empty()          ? "."
                                                  : folder.c_str();
    DWORD attributes = GetFileAttributesA(asked);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      // A missing file is no refusal: the folder decides when the file is made.
      if (check == Check::create) return status_of(GetLastError() == ERROR_FILE_NOT_FOUND);
      return check == Check::temp_file ? Status::last_error() : Status();
    }
    DWORD refused = check == Check::temp_file ? 0
                    : check == Check::backup  ? FILE_ATTRIBUTE_DIRECTORY
                                              : FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY;
    return (attributes & refused) != 0 ? Status::system(ERROR_ACCESS_DENIED) : Status();
  }

  Status create_file(const std::string& path, File& file) override {
    // Opened first and emptied only once it is known to be a file on a disk. Unlike creating it
    // afresh, this also works on an existing hidden or system file, whose attributes it keeps.
    Status opened = open_handle(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, true, file);
    if (opened && !SetEndOfFile(handle_of(file))) {
      opened = Status::last_error();
      file = File();
    }
    return opened;
  }

  Status open_for_writing(const std::string& path, File& file) override {
    return open_handle(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS, true,
                       file);
  }

  Status begin_replacement(const std::string& path, Replacement& replacement) override {
    replacement.disk = this;
    replacement.target_path = path;
    DWORD attributes = GetFileAttributesA(path.c_str());
    replacement.target_exists = attributes != INVALID_FILE_ATTRIBUTES;
    replacement.mode = replacement.target_exists ? attributes : 0;

    // Beside the target, so the move stays within one volume and is a rename. Sharing for
    // deletion lets an interruption remove the file while it is still being written.
    for (int attempt = 0; attempt < kTempNameTries; ++attempt) {
      std::string temp_path = temp_name_beside(path, temp_suffix(), kLongestName);
      Status made = open_handle(temp_path, GENERIC_WRITE, FILE_SHARE_DELETE, CREATE_NEW, false,
                                replacement.temp);
      bool name_taken = made.code() == ERROR_FILE_EXISTS || made.code() == ERROR_ALREADY_EXISTS;
      if (!made && name_taken) continue;
      if (!made) return made;
      replacement.temp_path = temp_path;
      remember_temp_file(temp_path);
      if (!is_disk_file(handle_of(replacement.temp))) {
        abandon_replacement(replacement);
        return Status::not_a_file();
      }
      return {};
    }
    return Status::system(ERROR_FILE_EXISTS);
  }

  Status write_all(File& file, std::string_view bytes) override {
    while (!bytes.empty()) {
      DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kLargestTransfer));
      DWORD put = 0;
      if (!WriteFile(handle_of(file), bytes.data(), wanted, &put, nullptr)) {
        return Status::last_error();
      }
      if (put == 0) return Status::system(ERROR_DISK_FULL);
      bytes.remove_prefix(put);
    }
    return {};
  }

  void start_writing_out(File&) override {}

  // A rewritten target keeps the attributes it had (see kKeptAttributes).
  Status give_attributes(File& file, const Replacement& replacement) override {
    if (!replacement.target_exists) return {};
    FILE_BASIC_INFO info{};
    info.FileAttributes = (replacement.mode & kKeptAttributes) | FILE_ATTRIBUTE_ARCHIVE;
    return status_of(
        SetFileInformationByHandle(handle_of(file), FileBasicInfo, &info, sizeof info));
  }

  Status sync(File& file) override { return status_of(FlushFileBuffers(handle_of(file))); }

  Status sync_all(const std::vector<File*>& files) override {
    for (File* file : files) {
      if (Status done = sync(*file); !done) return done;
    }
    return {};
  }

  // Each replacement is made durable on its own.
  std::size_t most_waiting() override { return 1; }

  Status close_file(File& file) override {
    return status_of(!file.is_open() || CloseHandle(reinterpret_cast<HANDLE>(file.release())));
  }

  // With write-through the move returns only once the new name is on the disk. A temporary file
  // that has taken its new name is no longer one to remove on interruption.
  Status rename(const std::string& from, const std::string& to) override {
    if (!MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return Status::last_error();
    }
    forget_temp_file(from);
    return {};
  }

  void remove(const std::string& path) override {
    DeleteFileA(path.c_str());
    forget_temp_file(path);
  }

  // A move with write-through is durable when it returns: nothing is left to do.
  Status sync_folder(const std::string&) override { return {}; }

  Status keep_backup(const Replacement& replacement, const std::string& backup_path) override {
    // A second name for the file where the volume allows, else a copy; either reaches the disk
    // under a temporary name and then takes the backup's name in one move.
    std::string temp_path = temp_name_beside(backup_path, temp_suffix(), kLongestName);
    remember_temp_file(temp_path);
    Status kept;
    if (!CreateHardLinkA(temp_path.c_str(), replacement.target_path.c_str(), nullptr)) {
      if (!CopyFileA(replacement.target_path.c_str(), temp_path.c_str(), TRUE)) {
        kept = Status::last_error();
      } else {
        File copy;
        kept = open_handle(temp_path, GENERIC_WRITE, 0, OPEN_EXISTING, false, copy);
        if (kept) kept = sync(copy);
      }
    }
    // A read-only backup is replaced as any other: the move would refuse it.
    DWORD old = GetFileAttributesA(backup_path.c_str());
    if (kept && old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        (old & FILE_ATTRIBUTE_READONLY) != 0) {
      SetFileAttributesA(backup_path.c_str(), old & ~FILE_ATTRIBUTE_READONLY);
    }
    if (kept) kept = rename(temp_path, backup_path);
    if (!kept) remove(temp_path);
    return kept;
  }

  // The command runs through the command interpreter, each %s the path in double quotes; its
  // input is the null device and its output goes to standard error.
  Status run_check(const std::string& command, const std::string& path) override {
    std::string line = "cmd /c ";
    for (std::size_t at = 0; at < command.size(); ++at) {
      bool stand_in = command.compare(at, 2, "%s") == 0;
      line.append(stand_in ? "\"" + path + "\"" : command.substr(at, 1));
      at += stand_in ? 1 : 0;
    }
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE empty = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                               OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = empty;
    start.hStdOutput = GetStdHandle(STD_ERROR_HANDLE);
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    bool started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &start, &process);
    Status status = status_of(started);
    if (empty != INVALID_HANDLE_VALUE) CloseHandle(empty);
    if (!started) return status;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (!GetExitCodeProcess(process.hProcess, &code)) status = Status::last_error();
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!status) return status;
    return code == 0 ? Status() : Status::exited(static_cast<long>(code));
  }

  Status open_scratch(File& file) override {
    char name[MAX_PATH + 1];
    std::string folder = scratch_folder();
    if (GetTempFileNameA(folder.c_str(), "zlt", 0, name) == 0) return Status::last_error();
    // Deleted by the system when the last handle closes, however the program ends.
    Status opened =
        open_handle(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, CREATE_ALWAYS, false,
                    file, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE);
    if (!opened) DeleteFileA(name);
    return opened;
  }
};
}  // namespace

Status Status::last_error() { return system(static_cast<long>(GetLastError())); }

std::string system_message(long code) {
  char text[512] = "";
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  std::string message(text, length);
  // The system's messages end in a full stop and a line break; the caller adds its own.
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  if (message.empty()) message = "Error " + std::to_string(code);
  return message;
}

std::size_t name_start(const std::string& path) {
  std::string::size_type slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? 0 : slash + 1;
}

// The folder a path lies in ("." for a bare name, "C:" for a name on a drive).
std::string folder_of(const std::string& path) {
  std::string::size_type slash = path.find_last_of("\\/");
  if (slash != std::string::npos) return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  return ".";
}

// Names compare without regard to letter case here.
std::string compared_name(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return name;
}

void close_quietly(std::intptr_t handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

void let_go(std::intptr_t handle) {
  ReleaseMutex(reinterpret_cast<HANDLE>(handle));
  CloseHandle(reinterpret_cast<HANDLE>(handle));
}

std::string scratch_folder() {
  char folder[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof folder, folder);
  if (length == 0 || length > MAX_PATH) return ".";
  return std::string(folder, length);
}

Disk& system_disk() {
  static SystemDisk disk;
  return disk;
}

}  // namespace zeltrim::platform
