// Files on Windows, through the narrow (byte) file API: a path such as C:\AUTOEXEC.BAT is
// handed to the system exactly as the instruction file spells it. Every file is opened in
// binary mode; nothing here translates line ends.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "platform/faults.h"
#include "platform/files.h"
#include "platform/interrupts.h"
#include "platform/system.h"

namespace zeltrim::platform {

namespace {

HANDLE handle_of(const File& file) { return reinterpret_cast<HANDLE>(file.handle()); }

void adopt_handle(File& file, HANDLE handle) {
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

Status Status::last_error() { return system(static_cast<long>(GetLastError())); }

bool Status::missing() const {
  return kind_ == Kind::system && (code_ == ERROR_FILE_NOT_FOUND || code_ == ERROR_PATH_NOT_FOUND);
}

std::string describe(const Status& status) {
  switch (status.kind()) {
    case Status::Kind::done:
      return "Success";
    case Status::Kind::not_a_file:
      return "Not a file on a disk";
    case Status::Kind::injected:
      return "Input/output error (a failure made on purpose by a test)";
    case Status::Kind::system:
      break;
  }
  char text[512] = "";
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(status.code()), 0, text, sizeof text, nullptr);
  std::string message(text, length);
  // The system's messages end in a full stop and a line break; the caller adds its own.
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  if (message.empty()) message = "Error " + std::to_string(status.code());
  return message;
}

void close_quietly(std::intptr_t handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

void remove_quietly(const std::string& path) { DeleteFileA(path.c_str()); }

Status open_for_reading(const std::string& path, Accept accept, File& file) {
  if (should_fail(Step::open_read)) return Status::injected();
  // A folder cannot be opened this way at all; other programs may go on reading and writing.
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Status::last_error();
  adopt_handle(file, handle);
  if (accept == Accept::regular_file && !is_disk_file(handle)) {
    file = File();
    return Status::not_a_file();
  }
  return {};
}

Status read_some(File& file, char* buffer, std::size_t size, std::size_t& got) {
  got = 0;
  if (should_fail(Step::read)) return Status::injected();
  DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, kLargestTransfer));
  DWORD read = 0;
  if (ReadFile(handle_of(file), buffer, wanted, &read, nullptr)) {
    got = read;
    return {};
  }
  // A pipe whose writer has gone has simply ended.
  if (GetLastError() == ERROR_BROKEN_PIPE) return {};
  return Status::last_error();
}

std::optional<std::uint64_t> size_hint(File& file) {
  LARGE_INTEGER size;
  if (!is_disk_file(handle_of(file)) || !GetFileSizeEx(handle_of(file), &size)) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

Status create_file(const std::string& path, File& file) {
  if (should_fail(Step::create)) return Status::injected();
  // Opened first and emptied only once it is known to be a file on a disk. Unlike creating it
  // afresh, this also works on an existing hidden or system file, whose attributes it keeps.
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Status::last_error();
  adopt_handle(file, handle);
  if (!is_disk_file(handle)) {
    file = File();
    return Status::not_a_file();
  }
  if (!SetEndOfFile(handle)) {
    Status failed = Status::last_error();
    file = File();
    return failed;
  }
  return {};
}

Status open_for_writing(const std::string& path, File& file) {
  if (should_fail(Step::create)) return Status::injected();
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Status::last_error();
  adopt_handle(file, handle);
  if (!is_disk_file(handle)) {
    file = File();
    return Status::not_a_file();
  }
  return {};
}

Status write_all(File& file, std::string_view bytes) {
  while (!bytes.empty()) {
    if (should_fail(Step::write)) return Status::injected();
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

Status close_file(File& file) {
  if (!file.is_open()) return {};
  bool injected = should_fail(Step::close);
  if (!CloseHandle(reinterpret_cast<HANDLE>(file.release()))) return Status::last_error();
  return injected ? Status::injected() : Status();
}

Status may_replace(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return {};  // a new file: the folder decides
  if ((attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return Status::system(ERROR_ACCESS_DENIED);
  }
  return {};
}

Status begin_replacement(const std::string& path, Replacement& replacement) {
  replacement.target_path = path;
  DWORD attributes = GetFileAttributesA(path.c_str());
  replacement.target_exists = attributes != INVALID_FILE_ATTRIBUTES;
  replacement.mode = replacement.target_exists ? attributes : 0;
  if (should_fail(Step::create_temp)) return Status::injected();

  // Beside the target, so the move stays within one volume and is a rename. Sharing for
  // deletion lets an interruption remove the file while it is still being written.
  for (int attempt = 0; attempt < kTempNameTries; ++attempt) {
    std::string temp_path = path + std::string(kTempMarker) + temp_suffix();
    HANDLE handle = CreateFileA(temp_path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      return Status::system(static_cast<long>(error));
    }
    adopt_handle(replacement.temp, handle);
    replacement.temp_path = temp_path;
    remember_temp_file(temp_path);
    if (!is_disk_file(handle)) {
      abandon_replacement(replacement);
      return Status::not_a_file();
    }
    return {};
  }
  return Status::system(ERROR_FILE_EXISTS);
}

Commit commit_replacement(Replacement& replacement) {
  Status step;
  if (should_fail(Step::sync)) {
    step = Status::injected();
  } else if (!FlushFileBuffers(handle_of(replacement.temp))) {
    step = Status::last_error();
  }
  if (step) step = close_file(replacement.temp);
  if (step && replacement.target_exists) {
    DWORD kept = (replacement.mode & kKeptAttributes) | FILE_ATTRIBUTE_ARCHIVE;
    if (!SetFileAttributesA(replacement.temp_path.c_str(), kept)) step = Status::last_error();
  }
  // With write-through the move returns only once the new name is on the disk, so no separate
  // step is needed to make it durable.
  if (step && should_fail(Step::rename)) step = Status::injected();
  if (step && !MoveFileExA(replacement.temp_path.c_str(), replacement.target_path.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    step = Status::last_error();
  }
  if (!step) {
    abandon_replacement(replacement);
    return {CommitResult::failed, step};
  }
  replacement.temp_path.clear();
  forget_temp_file();
  if (should_fail(Step::sync_folder)) return {CommitResult::not_durable, Status::injected()};
  return {};
}

}  // namespace zeltrim::platform
