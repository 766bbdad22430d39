#include "fuzz_kit.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/files.h"
#include "textfile/encoding.h"
#include "textfile/target_file.h"

namespace zeltrim::fuzz {

namespace {

std::string private_root;  // the folder of this process, removed at exit

std::string check_path() { return private_root + "/check/T"; }

void remove_private_folder() {
  std::error_code ignored;
  std::filesystem::remove_all(private_root, ignored);
}

// The first line of a plain file, before its final end mark, that begins with the end mark.
std::size_t end_mark_line(std::string_view bytes) {
  std::size_t at = 0;
  while (at + 1 < bytes.size()) {
    if (bytes[at] == kEndMark) return at;
    std::size_t lf = bytes.find('\n', at);
    if (lf == std::string_view::npos) break;
    at = lf + 1;
  }
  return std::string_view::npos;
}

// The written form of an encoded file with every CR or LF that is not part of a CR LF turned
// into a CR LF: what the encoded reader makes of a text that held a line-break byte.
std::string with_every_break_as_cr_lf(std::string_view bytes, EncodingKind kind) {
  std::string_view mark = mark_of(kind);
  std::size_t unit = unit_size(kind);
  // UTF-8 ends with the end mark; UTF-16 and UTF-32 end with their last code unit.
  std::size_t end_mark = unit == 1 ? 1 : 0;
  std::string_view body = bytes.substr(mark.size(), bytes.size() - mark.size() - end_mark);
  if (body.size() % unit != 0) fail("written file breaks a code unit", bytes);
  std::size_t count = body.size() / unit;
  std::size_t offset = kind == EncodingKind::utf16le ? 0 : unit - 1;
  auto character = [&](std::size_t i) { return body[i * unit + offset]; };
  std::string out(mark);
  for (std::size_t i = 0; i < count; ++i) {
    char c = character(i);
    if (c != '\r' && c != '\n') {
      out.append(body.substr(i * unit, unit));
      continue;
    }
    append_encoded(kind, "\r\n", out);
    if (c == '\r' && i + 1 < count && character(i + 1) == '\n') ++i;
  }
  if (end_mark == 1) out.push_back(kEndMark);
  return out;
}

std::string shown(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes.substr(0, 400)) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  if (bytes.size() > 400) out += "...";
  return out;
}

}  // namespace

void fail(std::string_view what, std::string_view detail) {
  std::fprintf(stderr, "\n*** %.*s\n*** bytes: %s\n", static_cast<int>(what.size()), what.data(),
               shown(detail).c_str());
  std::abort();
}

namespace {
// The next line of `text` from `at`, its LF included; `at` moves past it.
std::string_view next_line(std::string_view text, std::size_t& at) {
  std::size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
  std::string_view line = text.substr(at, end - at);
  at = end;
  return line;
}

// A name as a diff's header gives it: in double quotes with C escapes, or as it is.
std::string header_name(std::string_view line) {
  line.remove_prefix(4);
  if (line.ends_with('\n')) line.remove_suffix(1);
  if (!line.starts_with('"')) return std::string(line);
  std::string name;
  for (std::size_t at = 1; at + 1 < line.size(); ++at) {
    if (line[at] != '\\') {
      name.push_back(line[at]);
      continue;
    }
    char next = line[++at];
    if (next >= '0' && next <= '7') {
      name.push_back(static_cast<char>(std::stoi(std::string(line.substr(at, 3)), nullptr, 8)));
      at += 2;
    } else {
      name.push_back(next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next);
    }
  }
  return name;
}

std::vector<std::string_view> lines_of(std::string_view bytes) {
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at < bytes.size();) lines.push_back(next_line(bytes, at));
  return lines;
}
}  // namespace

void apply_diffs(std::string_view report, std::map<std::string, std::string>& files,
                 std::set<std::string>& skipped) {
  constexpr std::string_view kText = "The diff of ";
  constexpr std::string_view kNoNewline = "\\ No newline at end of file\n";
  bool noted = false;
  for (std::size_t at = 0; at < report.size();) {
    std::string_view line = next_line(report, at);
    std::size_t after = at;
    std::string_view plus = at < report.size() ? next_line(report, after) : std::string_view();
    if (!line.starts_with("--- ") || !plus.starts_with("+++ ")) {
      std::size_t end = line.find(" shows its lines as UTF-8");
      noted = line.starts_with(kText) && end != line.npos;
      if (noted) skipped.insert(std::string(line.substr(kText.size(), end - kText.size())));
      continue;
    }
    std::string name = header_name(plus);
    bool created = line == "--- /dev/null\n";
    at = after;
    if (noted || skipped.contains(name)) {
      // UTF-8 lines of UTF-16 or UTF-32 text: what they say is checked by the file itself. What
      // such a file holds afterwards is not known here, so its later diffs are not applied either.
      skipped.insert(name);
      while (at < report.size() &&
             std::string_view(" -+@\\").find(report[at]) != std::string_view::npos) {
        next_line(report, at);
      }
      noted = false;
      continue;
    }
    std::string old = created ? std::string() : files[name];
    std::vector<std::string_view> old_lines = lines_of(old);
    std::string made;
    std::size_t made_lines = 0;
    std::size_t copied = 0;  // old lines taken so far
    while (at < report.size() && report.substr(at).starts_with("@@ -")) {
      std::string_view header = next_line(report, at);
      // "@@ -START[,COUNT] +START[,COUNT] @@": a count left out is 1.
      unsigned long old_start = 0, old_count = 1, new_start = 0, new_count = 1;
      std::string text(header);
      char* at_number = text.data() + 4;
      old_start = std::strtoul(at_number, &at_number, 10);
      if (*at_number == ',') old_count = std::strtoul(at_number + 1, &at_number, 10);
      if (std::string_view(at_number).substr(0, 2) != " +") {
        fail("a hunk header that patch cannot read", header);
      }
      new_start = std::strtoul(at_number + 2, &at_number, 10);
      if (*at_number == ',') new_count = std::strtoul(at_number + 1, &at_number, 10);
      if (!std::string_view(at_number).starts_with(" @@")) {
        fail("a hunk header that patch cannot read", header);
      }
      std::size_t first = old_count == 0 ? old_start : old_start - 1;
      if (first < copied || first > old_lines.size()) fail("a hunk out of place", header);
      for (; copied < first; ++copied, ++made_lines) made.append(old_lines[copied]);
      if (new_start != (new_count == 0 ? made_lines : made_lines + 1)) {
        fail("a hunk whose new side starts out of place", header);
      }
      while (old_count + new_count > 0) {
        std::string_view body = next_line(report, at);
        std::string text(body.substr(1));
        if (report.substr(at).starts_with(kNoNewline)) {
          next_line(report, at);
          text.pop_back();
        }
        if (body[0] == ' ' || body[0] == '-') {
          if (copied >= old_lines.size() || old_lines[copied] != text || old_count == 0) {
            fail("a diff line that the old content does not hold", text);
          }
          ++copied;
          --old_count;
        }
        if (body[0] == ' ' || body[0] == '+') {
          if (new_count == 0) fail("a hunk longer than its header", header);
          made.append(text);
          --new_count;
          ++made_lines;
        }
        if (body[0] != ' ' && body[0] != '-' && body[0] != '+') fail("no line of a diff", body);
      }
    }
    for (; copied < old_lines.size(); ++copied) made.append(old_lines[copied]);
    files[name] = made;
  }
}

bool is_temporary_name(std::string_view name) {
  return name.find(platform::kTempMarker) != std::string_view::npos;
}

}  // namespace zeltrim::fuzz

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  using namespace zeltrim::fuzz;
  const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/zeltrim-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) fail("cannot make a private folder", pattern);
  private_root = pattern;
  std::atexit(remove_private_folder);
  if (mkdir((private_root + "/run").c_str(), 0700) != 0 ||
      mkdir((private_root + "/check").c_str(), 0700) != 0) {
    fail("cannot prepare the private folder", private_root);
  }
  if (std::freopen("/dev/null", "w", stdout) == nullptr ||
      std::freopen("/dev/null", "r", stdin) == nullptr) {
    fail("cannot silence the console");
  }
  // A crash is saved while the run is in the private folder: without a prefix of its own, or
  // with one relative to where the harness started, the input would be written there, out of
  // sight (and lost with the folder).
  constexpr std::string_view kPrefix = "-artifact_prefix=";
  std::string here = std::string(kPrefix) + std::filesystem::current_path().string() + "/";
  static std::vector<char*> arguments((*argv), (*argv) + *argc);
  static std::vector<std::string> made;  // the prefixes made absolute, kept for libFuzzer
  made.reserve(static_cast<std::size_t>(*argc) + 1);  // no string moves once pointed at
  bool given = false;
  for (int i = 1; i < *argc; ++i) {
    std::string_view argument = arguments[i];
    if (!argument.starts_with(kPrefix)) continue;
    given = true;
    if (argument.substr(kPrefix.size()).starts_with('/')) continue;
    arguments[i] = made.emplace_back(here + std::string(argument.substr(kPrefix.size()))).data();
  }
  if (!given) arguments.push_back(made.emplace_back(here).data());
  arguments.push_back(nullptr);
  *argc = static_cast<int>(arguments.size()) - 1;
  *argv = arguments.data();
  return 0;
}

namespace zeltrim::fuzz {

namespace {
std::string started_in;
}  // namespace

InPrivateFolder::InPrivateFolder() {
  if (started_in.empty()) started_in = std::filesystem::current_path().string();
  if (chdir((private_root + "/run").c_str()) != 0) fail("cannot enter the private folder");
}

InPrivateFolder::~InPrivateFolder() {
  if (chdir(started_in.c_str()) != 0) fail("cannot leave the private folder");
}

InSubfolder::InSubfolder(const std::string& name) {
  std::string folder = private_root + "/run/" + name;
  mkdir(folder.c_str(), 0700);
  if (chdir(folder.c_str()) != 0) fail("cannot enter a folder of the run", folder);
}

InSubfolder::~InSubfolder() {
  if (chdir((private_root + "/run").c_str()) != 0) fail("cannot leave a folder of the run");
}

CapturedOutput::CapturedOutput(Channel channel)
    : stream_(channel == Channel::output ? STDOUT_FILENO : STDERR_FILENO),
      saved_(dup(stream_)),
      path_(private_root + (channel == Channel::output ? "/captured" : "/captured-errors")) {
  std::fflush(channel == Channel::output ? stdout : stderr);
  int file = open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  if (saved_ < 0 || file < 0 || dup2(file, stream_) < 0) fail("cannot capture the output");
  close(file);
}

CapturedOutput::~CapturedOutput() {
  std::fflush(stream_ == STDOUT_FILENO ? stdout : stderr);
  dup2(saved_, stream_);
  close(saved_);
}

std::string CapturedOutput::text() {
  std::fflush(stream_ == STDOUT_FILENO ? stdout : stderr);
  return read_file(path_);
}

std::vector<std::string> folder_names() {
  std::vector<std::string> names;
  DIR* folder = opendir(".");
  if (folder == nullptr) fail("cannot list the folder");
  while (struct dirent* entry = readdir(folder)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(folder);
  std::sort(names.begin(), names.end());
  return names;
}

void clear_folder() {
  for (const std::string& name : folder_names()) {
    if (unlink(name.c_str()) != 0) fail("cannot clear the folder", name);
  }
}

bool write_file(const std::string& path, std::string_view bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

std::string read_file(const std::string& path) {
  std::string bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) fail("cannot read a file back", path);
  char block[65536];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
    bytes.append(block, got);
  }
  std::fclose(file);
  return bytes;
}

std::optional<std::vector<Loaded>> load(const std::string& path, const TargetOptions& options,
                                        EncodingKind& kind) {
  platform::Disk& disk = platform::system_disk();
  Opened opened =
      open_target(disk, path, Naming::existing, EncodingKind::plain, options, {}, [] {});
  kind = opened.target.kind;
  if (opened.result != LoadResult::loaded) return std::nullopt;
  TargetReader reader(disk, opened.target, options);
  std::vector<Loaded> lines;
  for (Line line; reader.next(line);) lines.push_back({!line.is_text(), std::string(line.text)});
  if (reader.result() != LoadResult::loaded) return std::nullopt;
  return lines;
}

std::optional<std::vector<Loaded>> load_bytes(std::string_view bytes, const TargetOptions& options,
                                              EncodingKind& kind) {
  if (!write_file(check_path(), bytes)) fail("cannot write the file to load", bytes);
  return load(check_path(), options, kind);
}

std::optional<std::string> written_form(EncodingKind kind, const std::vector<Loaded>& lines,
                                        bool unicode) {
  std::string bytes(mark_of(kind));
  for (const Loaded& line : lines) {
    std::string text = line.text + "\r\n";
    if (!unicode) {
      append_encoded(kind, text, bytes);
    } else if (!append_utf8_encoded(kind, text, bytes)) {
      return std::nullopt;
    }
  }
  if (unit_size(kind) == 1) bytes.push_back(kEndMark);
  return bytes;
}

namespace {
// The target at `path` read and written back without a command; nothing where it does not load
// whole.
std::optional<WriteOutcome> written_back(const std::string& path, const TargetOptions& options) {
  platform::Disk& disk = platform::system_disk();
  Opened opened =
      open_target(disk, path, Naming::existing, EncodingKind::plain, options, {}, [] {});
  if (opened.result != LoadResult::loaded) return std::nullopt;
  TargetWriter writer(disk, opened.target, options);
  TargetReader reader(disk, opened.target, options);
  bool held = false;
  for (Line line; reader.next(line); held = true) writer.put(line);
  if (reader.result() != LoadResult::loaded) return std::nullopt;
  opened.target.form = reader.form();
  writer.prepare(held);
  return writer.commit();
}
}  // namespace

WriteResult write_back(const std::string& path, const TargetOptions& options) {
  std::optional<WriteOutcome> outcome = written_back(path, options);
  return outcome ? outcome->result : WriteResult::nothing_to_write;
}

std::optional<std::string> reload(std::string_view bytes) {
  if (!write_file(check_path(), bytes)) fail("cannot write the file to reload", bytes);
  EncodingKind kind = EncodingKind::plain;
  std::optional<std::vector<Loaded>> lines = load(check_path(), {}, kind);
  if (!lines) return std::nullopt;
  // A target that holds no line is not touched: the end mark alone, the written form of a
  // file whose every line was removed, stays as it is.
  if (lines->empty()) return std::string(bytes);
  return written_form(kind, *lines, false);
}

namespace {
// What the program writes back, without a command, for `bytes` as a target.
std::optional<std::string> rewritten(std::string_view bytes, TargetOptions options) {
  if (!write_file(check_path(), bytes)) fail("cannot write the file to reload", bytes);
  options.no_write = true;
  options.diff = false;
  std::optional<WriteOutcome> outcome = written_back(check_path(), options);
  if (!outcome) return std::nullopt;
  if (outcome->result == WriteResult::unchanged ||
      outcome->result == WriteResult::nothing_to_write) {
    return std::string(bytes);
  }
  std::string again;
  char block[1 << 14];
  for (std::uint64_t offset = 0;;) {
    std::size_t got = 0;
    if (!platform::system_disk().read_at(outcome->shadow, offset, block, sizeof block, got) ||
        got == 0) {
      break;
    }
    again.append(block, got);
    offset += got;
  }
  return again;
}

// A plain file whose first line begins with a UTF-16 mark is read as UTF-16 and refused; a real
// UTF-16 file with any line holds zero bytes among its lines. A plain file may hold them only
// after its end mark, where /k keeps what followed it as it was.
bool starts_as_utf16_but_plain(std::string_view bytes) {
  EncodingKind kind = encoding_from_mark(bytes.substr(0, 4));
  return (kind == EncodingKind::utf16le || kind == EncodingKind::utf16be) &&
         bytes.substr(0, bytes.find('\x1a')).find('\0') == std::string_view::npos;
}
}  // namespace

void check_kept_form(std::string_view bytes, const TargetOptions& options) {
  std::optional<std::string> again = rewritten(bytes, options);
  if (!again && starts_as_utf16_but_plain(bytes)) return;
  if (!again) fail("a file the program wrote is refused", bytes);
  // In its own form a file comes back byte for byte; in the program's form, from the second
  // time on.
  if (options.keep_form ? *again != bytes : rewritten(*again, options) != again) {
    fail("a written file does not read back to itself", bytes);
  }
}

void check_written_form(std::string_view bytes) {
  std::optional<std::string> again = reload(bytes);
  if (again == bytes) return;
  EncodingKind kind = encoding_from_mark(bytes.substr(0, 4));
  if (starts_as_utf16_but_plain(bytes)) {
    if (again) fail("plain file starting with a UTF-16 mark was accepted", bytes);
    return;
  }
  bool ends_in_mark = !bytes.empty() && bytes.back() == kEndMark;
  if (ends_in_mark != (unit_size(kind) == 1)) fail("written file has the wrong ending", bytes);

  // Not a fixed point: only the rules kept on purpose may be the reason, and each one makes
  // the reload differ in one exact way.
  std::string expected;
  switch (kind) {
    case EncodingKind::plain: {
      // A line that begins with the end mark ends a plain file when it is read; when it is the
      // first, no line is left, and no line is written.
      std::size_t cut = end_mark_line(bytes);
      if (cut == std::string_view::npos) fail("plain file does not reload to itself", bytes);
      if (cut > 0) expected = std::string(bytes.substr(0, cut)) + kEndMark;
      break;
    }
    case EncodingKind::utf16le:
    case EncodingKind::utf16be:
    case EncodingKind::utf8:
    case EncodingKind::utf32be:
      // A CR or LF inside a text is a line break to the encoded reader.
      expected = with_every_break_as_cr_lf(bytes, kind);
      break;
  }
  if (again != expected) fail("written file does not reload as the kept rules say", bytes);
  if (reload(expected) != expected) fail("reloaded file is not a fixed point", expected);
}

}  // namespace zeltrim::fuzz
