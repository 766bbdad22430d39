// Files on Windows, through the narrow (byte) file API: a path such as C:\AUTOEXEC.BAT is
// handed to the system exactly as the instruction file spells it. Every file is opened in
// binary mode; nothing here translates line ends.
#include <windows.h>

#include <algorithm>
#include <atomic>

#include "platform/faults.h"
#include "platform/files.h"
#include "platform/interrupts.h"

namespace zeltrim::platform {

namespace {

HANDLE handle_of(const File& file) { return reinterpret_cast<HANDLE>(file.handle()); }

void adopt_handle(File& file, HANDLE handle) {
  file = File();
  file.adopt(reinterpret_cast<std::intptr_t>(handle));
}

// One call moves at most this much, since the system counts bytes in 32 bits.
constexpr DWORD kLargestTransfer = 1u << 30;

// Only a file on a disk can be edited in place: a console, a printer port, NUL or a pipe
// cannot be read whole or replaced.
bool is_disk_file(HANDLE handle) { return GetFileType(handle) == FILE_TYPE_DISK; }

// The attributes a rewritten target keeps: hidden and system files stay so. Read-only is left
// out, since a read-only target is refused before any temporary file is made, and a read-only
// temporary file could not be removed again. The archive bit is set, as on any changed file.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

constexpr int kTempNameTries = 100;
constexpr std::size_t kTempSuffixLength = 6;

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

}  // namespace

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (is_open()) CloseHandle(handle_of(*this));
    handle_ = other.release();
  }
  return *this;
}

File::~File() {
  if (is_open()) CloseHandle(handle_of(*this));
}

bool open_for_reading(const std::string& path, Accept accept, File& file) {
  if (should_fail(Step::open_read)) return false;
  // A folder cannot be opened this way at all; other programs may go on reading and writing.
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  adopt_handle(file, handle);
  if (accept == Accept::regular_file && !is_disk_file(handle)) {
    file = File();
    return false;
  }
  return true;
}

long long read_some(File& file, char* buffer, std::size_t size) {
  if (should_fail(Step::read)) return -1;
  DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, kLargestTransfer));
  DWORD got = 0;
  if (ReadFile(handle_of(file), buffer, wanted, &got, nullptr)) return got;
  // A pipe whose writer has gone has simply ended.
  return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}

long long size_hint(File& file) {
  LARGE_INTEGER size;
  if (!is_disk_file(handle_of(file)) || !GetFileSizeEx(handle_of(file), &size)) return -1;
  return size.QuadPart;
}

bool create_file(const std::string& path, File& file) {
  if (should_fail(Step::create)) return false;
  // Opened first and emptied only once it is known to be a file on a disk. Unlike creating it
  // afresh, this also works on an existing hidden or system file, whose attributes it keeps.
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  adopt_handle(file, handle);
  if (!is_disk_file(handle) || !SetEndOfFile(handle)) {
    file = File();
    return false;
  }
  return true;
}

bool write_all(File& file, std::string_view bytes) {
  while (!bytes.empty()) {
    if (should_fail(Step::write)) return false;
    DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kLargestTransfer));
    DWORD put = 0;
    if (!WriteFile(handle_of(file), bytes.data(), wanted, &put, nullptr) || put == 0) return false;
    bytes.remove_prefix(put);
  }
  return true;
}

bool close_file(File& file) {
  if (!file.is_open()) return true;
  bool injected = should_fail(Step::close);
  bool closed = CloseHandle(reinterpret_cast<HANDLE>(file.release())) != 0;
  return closed && !injected;
}

bool may_replace(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;  // a new file: the folder decides
  return (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

Replacement::~Replacement() { abandon_replacement(*this); }

bool begin_replacement(const std::string& path, Replacement& replacement) {
  replacement.target_path = path;
  DWORD attributes = GetFileAttributesA(path.c_str());
  replacement.target_exists = attributes != INVALID_FILE_ATTRIBUTES;
  replacement.mode = replacement.target_exists ? attributes : 0;
  if (should_fail(Step::create_temp)) return false;

  // Beside the target, so the move stays within one volume and is a rename. Sharing for
  // deletion lets an interruption remove the file while it is still being written.
  for (int attempt = 0; attempt < kTempNameTries; ++attempt) {
    std::string temp_path = path + std::string(kTempMarker) + temp_suffix();
    HANDLE handle = CreateFileA(temp_path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      return false;
    }
    adopt_handle(replacement.temp, handle);
    replacement.temp_path = temp_path;
    remember_temp_file(temp_path);
    if (!is_disk_file(handle)) {
      abandon_replacement(replacement);
      return false;
    }
    return true;
  }
  return false;
}

CommitResult commit_replacement(Replacement& replacement) {
  bool complete = !should_fail(Step::sync) && FlushFileBuffers(handle_of(replacement.temp)) != 0;
  complete = complete && close_file(replacement.temp);
  if (complete && replacement.target_exists) {
    DWORD kept = (replacement.mode & kKeptAttributes) | FILE_ATTRIBUTE_ARCHIVE;
    complete = SetFileAttributesA(replacement.temp_path.c_str(), kept) != 0;
  }
  // With write-through the move returns only once the new name is on the disk, so no separate
  // step is needed to make it durable.
  complete = complete && !should_fail(Step::rename) &&
             MoveFileExA(replacement.temp_path.c_str(), replacement.target_path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!complete) {
    abandon_replacement(replacement);
    return CommitResult::failed;
  }
  replacement.temp_path.clear();
  forget_temp_file();
  return should_fail(Step::sync_folder) ? CommitResult::not_durable : CommitResult::done;
}

void abandon_replacement(Replacement& replacement) {
  replacement.temp = File();
  if (!replacement.temp_path.empty()) {
    DeleteFileA(replacement.temp_path.c_str());
    replacement.temp_path.clear();
    forget_temp_file();
  }
}

}  // namespace zeltrim::platform
