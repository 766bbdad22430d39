// Naming a target: holding it against other runs, opening it and finding its kind.
#include <utility>

#include "textfile/encoding.h"
#include "textfile/target_file.h"

namespace zeltrim {

namespace {
// The kind the first bytes of `file` announce (none where they cannot be read); `read` says
// whether the read went well.
EncodingKind kind_of(platform::Disk& disk, platform::File& file, platform::Status& read) {
  char first[kMarkProbe];
  std::size_t got = 0;
  read = disk.read_at(file, 0, first, kMarkProbe, got);
  return encoding_from_mark({first, got});
}

// The kind from the first bytes of the very file that is read, so the two always agree: a
// separate look at the mark could fail, or see another file, and load a UTF-8 file as plain
// text with its mark inside the first line.
LoadResult find_kind(platform::Disk& disk, Opened& opened) {
  EncodingKind kind = kind_of(disk, opened.target.original, opened.reason);
  if (opened.reason) opened.target.kind = kind;
  return opened.reason ? LoadResult::loaded : LoadResult::cannot_read;
}

// The kind a file's first bytes announce; `previous` when the file cannot be opened.
EncodingKind detect_encoding(platform::Disk& disk, const std::string& path, EncodingKind previous) {
  platform::File file;
  if (!disk.open_for_reading(path, platform::Accept::regular_file, file)) return previous;
  platform::Status read;  // what could not be read of the mark counts as missing
  return kind_of(disk, file, read);
}

// .G: the file must be one this user may write, or may make. It is made at once when missing,
// unless nothing may be written in this run.
LoadResult make_writable(platform::Disk& disk, const std::string& path,
                         const TargetOptions& options, platform::Status& reason) {
  if (options.no_write) {
    reason = disk.may(path, platform::Check::create);
    return reason ? LoadResult::loaded : LoadResult::cannot_open;
  }
  platform::File file;
  reason = disk.open_for_writing(path, file);
  if (!reason) return LoadResult::cannot_open;
  reason = disk.close_file(file);
  return reason ? LoadResult::loaded : LoadResult::cannot_close;
}

// Opens the target for reading, held against other runs, and notes how it was when opened, to
// tell at write-back whether another program changed it meanwhile. Where the name has come to
// stand for another file while this run waited, that one is opened and held; the wait is told
// once.
platform::Status open_locked(platform::Disk& disk, Target& target,
                             const std::function<void()>& waiting) {
  bool told = false;
  auto once = [&waiting, &told] {
    if (!std::exchange(told, true)) waiting();
  };
  platform::Status opened;
  do {
    target.original = platform::File();
    opened = disk.open_for_reading(target.path, platform::Accept::regular_file, target.original);
    if (opened) opened = disk.lock(target.path, &target.original, target.lock, once);
  } while (opened.kind() == platform::Status::Kind::changed);
  platform::FileIdentity identity;
  if (opened && disk.identify(target.original, identity)) target.read_as = identity;
  return opened;
}
}  // namespace

Opened open_target(platform::Disk& disk, const std::string& path, Naming naming,
                   EncodingKind previous, const TargetOptions& options, platform::File shadow,
                   const std::function<void()>& waiting) {
  Opened opened;
  Target& target = opened.target;
  target.path = path;
  target.naming = naming;
  target.kind = previous;
  if (shadow.is_open()) {
    // What this run would already have written to the file stands for it.
    target.original = std::move(shadow);
    opened.result = find_kind(disk, opened);
    return opened;
  }
  // Held against other runs before the file is looked at: a run that waits reads what the run
  // before it wrote.
  opened.reason = disk.lock(path, nullptr, target.lock, waiting);
  if (!opened.reason) return opened;
  if (naming == Naming::created) {
    // .G keeps the kind of an existing file, and a new file takes the kind of the target before
    // it. The old content is replaced only at write-back, so a run that fails on the way leaves
    // it whole; it is kept open to be compared with the new content.
    target.kind = detect_encoding(disk, path, previous);
    platform::FileIdentity existing;
    target.made = !disk.identify(path, existing);
    opened.result = make_writable(disk, path, options, opened.reason);
    if (opened.result == LoadResult::loaded && !open_locked(disk, target, waiting)) {
      target.original = platform::File();
    }
    return opened;
  }
  opened.reason = open_locked(disk, target, waiting);
  opened.result = opened.reason ? find_kind(disk, opened) : LoadResult::cannot_open;
  return opened;
}

}  // namespace zeltrim
