// Writing the line list back. The new content never overwrites the target in place: it goes to
// a temporary file beside it, reaches the disk, and then takes the target's name in one rename,
// so a failure or a crash at any moment leaves either the old file or the new one.
#include <cstring>

#include "lines/line_list.h"
#include "platform/console.h"
#include "platform/files.h"
#include "target/encoding.h"
#include "target/target_file.h"

namespace zeltrim {

namespace {

constexpr std::string_view kErrorOpening = "Error opening %s\n";
constexpr std::string_view kReadOnly =
    "%s is read-only: the changes were not written, file left unchanged\n";
constexpr std::string_view kNoTempFile =
    "No temporary file can be made beside %s: the changes were not written, file left "
    "unchanged\n";
constexpr std::string_view kErrorWriting = "Error writing %s, file left unchanged\n";
constexpr std::string_view kNotDurable =
    "Error syncing the folder of %s: the new content is in place but may not survive a power "
    "failure\n";
constexpr std::string_view kStored = "TEST MODE: stored: %s\n";

constexpr std::size_t kChunk = 1 << 20;

// Produces the written form in chunks of about kChunk bytes and hands each to `sink`, which
// returns false to stop. With `trace`, each written line is shown and waits for a key.
template <typename Sink>
bool generate(Sink&& sink, bool trace) {
  EncodingKind kind = encoding_kind();
  std::string line_break;
  append_encoded(kind, "\r\n", line_break);
  const bool one_byte_units = unit_size(kind) == 1;
  // The chunk grows as lines come and keeps its room once cleared: a small file never pays for
  // a large buffer.
  std::string chunk(mark_of(kind));
  for (const LineEntry* entry = line_list_head(); entry != nullptr; entry = entry->next) {
    if (entry->kind == EntryKind::removed) continue;
    std::string_view text = entry->text();
    // A text that keeps the LF of an LF-only file gets the break in its place, not after it.
    if (text.ends_with('\n')) text.remove_suffix(1);
    if (one_byte_units) {
      chunk.append(text).append(line_break);
    } else {
      append_encoded(kind, text, chunk);
      chunk.append(line_break);
    }
    if (trace) {
      platform::say(kStored, entry->text());
      platform::wait_for_key();
    }
    if (chunk.size() >= kChunk) {
      if (!sink(std::string_view(chunk))) return false;
      chunk.clear();
    }
  }
  chunk.push_back(kEndMark);
  return sink(std::string_view(chunk));
}

// True when the file already holds exactly the bytes that would be written.
bool file_holds_written_form(const std::string& path) {
  platform::File file;
  if (!platform::open_for_reading(path, platform::Accept::regular_file, file)) return false;
  std::string on_disk;
  bool same = generate(
      [&](std::string_view chunk) {
        on_disk.resize(chunk.size());
        std::size_t got = 0;
        while (got < chunk.size()) {
          long long n = platform::read_some(file, on_disk.data() + got, chunk.size() - got);
          if (n <= 0) return false;
          got += static_cast<std::size_t>(n);
        }
        return std::memcmp(on_disk.data(), chunk.data(), chunk.size()) == 0;
      },
      false);
  char extra;
  return same && platform::read_some(file, &extra, 1) == 0;
}

}  // namespace

std::string written_form() {
  std::string all;
  generate(
      [&](std::string_view chunk) {
        all.append(chunk);
        return true;
      },
      false);
  return all;
}

int put_target_file(const std::string& path) {
  if (line_list_head() == nullptr) return 1;  // nothing loaded: the file is not touched
  if (!platform::may_replace(path)) {
    platform::say(kErrorOpening, path);
    platform::say(kReadOnly, path);
    return 0;
  }
  bool trace = platform::test_mode();
  // A file that would not change keeps its inode, links and time stamps.
  if (file_holds_written_form(path)) {
    if (trace) generate([](std::string_view) { return true; }, true);
    return 1;
  }

  platform::Replacement replacement;
  if (!platform::begin_replacement(path, replacement)) {
    platform::say(kErrorOpening, path);
    platform::say(kNoTempFile, path);
    return 0;
  }
  bool written = generate(
      [&](std::string_view chunk) { return platform::write_all(replacement.temp, chunk); }, trace);
  if (!written) {
    platform::abandon_replacement(replacement);
    platform::say(kErrorWriting, path);
    return 0;
  }
  switch (platform::commit_replacement(replacement)) {
    case platform::CommitResult::done:
      return 1;
    case platform::CommitResult::failed:
      platform::say(kErrorWriting, path);
      return 0;
    case platform::CommitResult::not_durable:
      platform::say(kNotDurable, path);
      return 0;
  }
  return 0;
}

}  // namespace zeltrim
