// Naming a target: opening it, finding its kind, and, where the lines are held whole, reading
// them all into its list.
#include "target/encoding.h"
#include "target/target_file.h"

namespace zeltrim {

namespace {
constexpr std::size_t kMarkProbe = 4;

// The kind from the first bytes of the very file that is read, so the two always agree: a
// separate look at the mark could fail, or see another file, and load a UTF-8 file as plain
// text with its mark inside the first line.
LoadResult find_kind(Target& target) {
  char first[kMarkProbe];
  std::size_t got = 0;
  while (got < kMarkProbe) {
    std::size_t n = 0;
    target.reason = platform::read_at(target.original, got, first + got, kMarkProbe - got, n);
    if (!target.reason) return LoadResult::cannot_read;
    if (n == 0) break;
    got += n;
  }
  target.kind = encoding_from_mark(std::string_view(first, got));
  return LoadResult::loaded;
}

// .G: the file must be one this user may write, or may make. It is made at once when missing,
// unless nothing may be written in this run.
LoadResult make_writable(const std::string& path, const TargetOptions& options,
                         platform::Status& reason) {
  if (options.no_write) {
    reason = platform::may_create(path);
    return reason ? LoadResult::loaded : LoadResult::cannot_open;
  }
  platform::File file;
  reason = platform::open_for_writing(path, file);
  if (!reason) return LoadResult::cannot_open;
  reason = platform::close_file(file);
  return reason ? LoadResult::loaded : LoadResult::cannot_close;
}
// Opens the target for reading, held against other runs, and notes how it was when opened, to
// tell at write-back whether another program changed it meanwhile.
platform::Status open_locked(Target& target, const std::function<void()>& waiting) {
  platform::Status opened =
      platform::open_locked(target.path, target.original, target.lock, waiting);
  if (opened) target.identified = platform::identify(target.original, target.read_as).done();
  return opened;
}
}  // namespace

Target open_target(const std::string& path, Naming naming, EncodingKind previous,
                   const TargetOptions& options, platform::File would_be,
                   const std::function<void()>& waiting) {
  Target target;
  target.path = path;
  target.naming = naming;
  target.kind = previous;
  target.keep_form = options.keep_form;
  target.unicode = options.unicode;
  if (would_be.is_open()) {
    // What this run would already have written to the file stands for it.
    target.original = std::move(would_be);
    target.result = find_kind(target);
    return target;
  }
  // Held against other runs before the file is looked at: a run that waits reads what the run
  // before it wrote.
  target.reason = platform::lock_path(path, target.lock, waiting);
  if (!target.reason) return target;
  if (naming == Naming::created) {
    // .G keeps the kind of an existing file, and a new file takes the kind of the target before
    // it. The old content is replaced only at write-back, so a run that fails on the way leaves
    // it whole; it is kept open to be compared with the new content.
    target.kind = detect_encoding(path, previous);
    platform::FileIdentity existing;
    target.made = !platform::identify(path, existing);
    target.result = make_writable(path, options, target.reason);
    if (target.loaded() && !open_locked(target, waiting)) target.original = platform::File();
    return target;
  }
  target.reason = open_locked(target, waiting);
  target.result = target.reason ? find_kind(target) : LoadResult::cannot_open;
  return target;
}

Target load_target(const std::string& path, Naming naming, EncodingKind previous,
                   const TargetOptions& options, platform::File would_be,
                   const std::function<void()>& waiting) {
  Target target = open_target(path, naming, previous, options, std::move(would_be), waiting);
  if (!target.loaded()) return target;
  TargetReader reader(target);
  for (Line line; reader.next(line);) target.lines.push_back(target.store.kept(line));
  target.result = reader.result();
  target.form = reader.form();
  if (!target.loaded()) {
    target.reason = reader.reason();
    target.lines.clear();
    return target;
  }
  target.held_lines = !target.lines.empty();
  return target;
}

}  // namespace zeltrim
