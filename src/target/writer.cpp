// Writing the lines back. The new content never overwrites the target in place: it goes to a
// temporary file beside it, reaches the disk, and then takes the target's name in one rename,
// so a failure or a crash at any moment leaves either the old file or the new one.
#include <cstring>

#include "target/encoding.h"
#include "target/target_file.h"

namespace zeltrim {

namespace {

constexpr std::size_t kChunk = 1 << 20;

// Produces the written form in chunks of about kChunk bytes and hands each to `sink`, which
// returns false to stop. With a trace, each written line is shown to it.
template <typename Sink>
bool generate(const Target& target, Sink&& sink, WriteTrace* trace) {
  // A .G target that never held a line becomes an empty file: no mark, no end mark.
  if (!target.held_lines) return sink(std::string_view());
  EncodingKind kind = target.kind;
  std::string line_break;
  append_encoded(kind, "\r\n", line_break);
  const bool one_byte_units = unit_size(kind) == 1;
  // The chunk grows as lines come and keeps its room once cleared: a small file never pays for
  // a large buffer.
  std::string chunk(mark_of(kind));
  for (const Line& line : target.lines) {
    std::string_view text = line.text;
    if (one_byte_units) {
      chunk.append(text).append(line_break);
    } else {
      append_encoded(kind, text, chunk);
      chunk.append(line_break);
    }
    if (trace != nullptr) trace->stored(line.text);
    if (chunk.size() >= kChunk) {
      if (!sink(std::string_view(chunk))) return false;
      chunk.clear();
    }
  }
  // The end mark is one byte: after UTF-16 or UTF-32 text it would break the last code unit,
  // and every other reader would refuse the file.
  if (one_byte_units) chunk.push_back(kEndMark);
  return sink(std::string_view(chunk));
}

// True when the file already holds exactly the bytes that would be written.
bool file_holds_written_form(const Target& target) {
  platform::File file;
  if (!platform::open_for_reading(target.path, platform::Accept::regular_file, file)) return false;
  std::string on_disk;
  bool same = generate(
      target,
      [&](std::string_view chunk) {
        on_disk.resize(chunk.size());
        std::size_t got = 0;
        while (got < chunk.size()) {
          std::size_t n = 0;
          if (!platform::read_some(file, on_disk.data() + got, chunk.size() - got, n) || n == 0) {
            return false;
          }
          got += n;
        }
        return chunk.empty() || std::memcmp(on_disk.data(), chunk.data(), chunk.size()) == 0;
      },
      nullptr);
  char extra;
  std::size_t n = 0;
  return same && platform::read_some(file, &extra, 1, n) && n == 0;
}

}  // namespace

std::string written_form(const Target& target) {
  std::string all;
  generate(
      target,
      [&](std::string_view chunk) {
        all.append(chunk);
        return true;
      },
      nullptr);
  return all;
}

WriteOutcome write_target(const Target& target, WriteTrace* trace) {
  if (!target.loaded() || (!target.held_lines && target.naming == Naming::existing)) {
    return {WriteResult::nothing_to_write, {}};
  }
  if (platform::Status allowed = platform::may_replace(target.path); !allowed) {
    return {WriteResult::read_only, allowed};
  }
  // A file that would not change keeps its inode, links and time stamps.
  if (file_holds_written_form(target)) {
    if (trace != nullptr)
      generate(
          target, [](std::string_view) { return true; }, trace);
    return {WriteResult::unchanged, {}};
  }

  platform::Replacement replacement;
  if (platform::Status begun = platform::begin_replacement(target.path, replacement); !begun) {
    return {WriteResult::no_temp_file, begun};
  }
  platform::Status written;
  generate(
      target,
      [&](std::string_view chunk) {
        written = platform::write_all(replacement.temp, chunk);
        return written.done();
      },
      trace);
  if (!written) {
    platform::abandon_replacement(replacement);
    return {WriteResult::cannot_write, written};
  }
  platform::Commit commit = platform::commit_replacement(replacement);
  switch (commit.result) {
    case platform::CommitResult::done:
      return {WriteResult::written, {}};
    case platform::CommitResult::failed:
      return {WriteResult::cannot_write, commit.reason};
    case platform::CommitResult::not_durable:
      return {WriteResult::not_durable, commit.reason};
  }
  return {WriteResult::cannot_write, commit.reason};
}

}  // namespace zeltrim
