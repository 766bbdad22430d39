// What every platform shares on top of its own steps, all of which it takes through a Disk.
#include "platform/files.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/paths.h"

namespace zeltrim::platform {

namespace {
constexpr std::size_t kReadBlock = 1 << 20;

// What each Loss means, in the order the enumeration lists them.
constexpr std::string_view kLossWords[] = {
    "holds characters above U+00FF; /u edits it",  // above_latin1
    "holds the character U+0000",                  // zero_character
    "holds a zero byte",                           // zero_byte
    "holds a surrogate without its pair",          // lone_surrogate
    "ends in the middle of a code unit",           // broken_unit
    "holds a code unit above U+10FFFF",            // beyond_unicode
    "a line is not UTF-8 text",                    // not_utf8
};
static_assert(std::size(kLossWords) == static_cast<std::size_t>(Loss::not_utf8) + 1);
}  // namespace

std::optional<std::uint64_t> size_hint(Disk& disk, File& file) {
  FileIdentity identity;
  if (!disk.identify(file, identity)) return std::nullopt;
  return identity.size;
}

Status read_whole(Disk& disk, File& file, FileBytes& bytes) {
  std::optional<std::uint64_t> hint = size_hint(disk, file);
  // One byte more than the size, so a file of the expected size ends in one read.
  std::size_t capacity = hint ? static_cast<std::size_t>(*hint) + 1 : kReadBlock;
  bytes.block = std::make_unique_for_overwrite<char[]>(capacity);
  bytes.size = 0;
  for (;;) {
    if (bytes.size == capacity) {  // the file grew while it was read, or is a pipe
      capacity += std::max(capacity / 2, kReadBlock);
      auto larger = std::make_unique_for_overwrite<char[]>(capacity);
      std::memcpy(larger.get(), bytes.block.get(), bytes.size);
      bytes.block = std::move(larger);
    }
    std::size_t got = 0;
    Status read = disk.read_some(file, bytes.block.get() + bytes.size, capacity - bytes.size, got);
    if (!read || got == 0) return read;  // done at the end
    bytes.size += got;
  }
}

Status read_range(Disk& disk, File& file, std::uint64_t offset, std::uint64_t size,
                  std::size_t piece, const std::function<Status(std::string_view)>& take) {
  piece = static_cast<std::size_t>(std::min<std::uint64_t>(piece, size));
  auto buffer = std::make_unique_for_overwrite<char[]>(piece);
  for (std::uint64_t done = 0; done < size;) {
    std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(piece, size - done));
    std::size_t got = 0;
    Status read = disk.read_at(file, offset + done, buffer.get(), wanted, got);
    if (!read || got == 0) return read;
    if (Status taken = take({buffer.get(), got}); !taken) return taken;
    done += got;
  }
  return {};
}

std::string describe(const Status& status) {
  // Its own constant: a literal split over two lines inside the table reads as a missing comma.
  static constexpr std::string_view kChanged =
      "Changed by another program since it was read (its size or modification time differ, or "
      "another file has taken its name)";
  // The reasons the program gives itself, in the order of Status::Kind; the system words its own.
  static constexpr std::string_view kKindWords[] = {
      "Success",
      "",  // system
      "Not a regular file",
      "Input/output error (a failure made on purpose by a test)",
      kChanged,
  };
  static_assert(std::size(kKindWords) == static_cast<std::size_t>(Status::Kind::lossy));
  if (status.kind() == Status::Kind::system) return system_message(status.code());
  if (status.kind() == Status::Kind::lossy) return std::string(kLossWords[status.code()]);
  if (status.kind() == Status::Kind::exited) {
    return "validation command exited with " + std::to_string(status.code());
  }
  if (status.kind() == Status::Kind::killed) {
    return "validation command was killed by signal " + std::to_string(status.code());
  }
  return std::string(kKindWords[static_cast<std::size_t>(status.kind())]);
}

std::string temp_name_beside(const std::string& path, std::string_view suffix,
                             std::size_t longest) {
  std::string tail = std::string(kTempMarker).append(suffix);
  std::size_t start = name_start(path);
  // The name keeps as much of itself as leaves space for the marker and the suffix.
  if (path.size() - start + tail.size() > longest && longest > tail.size()) {
    return path.substr(0, start + longest - tail.size()) + tail;
  }
  return path + tail;
}

std::string identity_key(Disk& disk, const std::string& path) {
  FileIdentity identity;
  std::string name;
  if (!disk.identify(path, identity)) {
    name.append("/").append(compared_name(path.substr(name_start(path))));
    if (!disk.identify(folder_of(path), identity)) return "?" + path;
  }
  return std::to_string(identity.device) + ":" + std::to_string(identity.file) + name;
}

Replacement::~Replacement() { abandon_replacement(*this); }

void abandon_replacement(Replacement& replacement) {
  replacement.temp = File();
  if (replacement.temp_path.empty()) return;
  replacement.disk->remove(std::exchange(replacement.temp_path, {}));
}

}  // namespace zeltrim::platform
