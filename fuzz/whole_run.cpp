#include "whole_run.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "commands/command_kit.h"
#include "commands/interpreter.h"
#include "commands/text_search.h"
#include "fuzz_kit.h"
#include "platform/console.h"
#include "textfile/encoding.h"
#include "textfile/target_file.h"

namespace zeltrim::fuzz {
namespace {

constexpr char kInstructionName[] = "I.ZT";

// The commands allow growth that is exponential in the number of commands (.A doubling every
// line, .V multiplying a line's length), which is the user's request and not a fault. To keep
// each run small, the harness keeps a rough bound on the bytes a target may reach and on the
// bytes the commands may touch, and drops a command that would pass either budget.
constexpr double kSizeBudget = 4.0 * 1024 * 1024;
constexpr double kWorkBudget = 64.0 * 1024 * 1024;

struct Prepared {
  std::string instructions;        // as run: target paths kept in the folder, commands in budget
  std::vector<std::string> paths;  // every path .F and .G name, in order
};

char upper_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

double plus_growth(double size, std::size_t matched_length, double growth_per_match) {
  return size + size / (static_cast<double>(matched_length) + 2) * std::max(growth_per_match, 0.0);
}

// The budget after the command, by the worst case each command allows.
void account(char letter, std::string_view argument, double& size, double& work) {
  std::string_view first = first_part(argument);
  std::string_view second = second_part(argument);
  double second_length = static_cast<double>(without_final_dot(second).size());
  work += size;
  switch (letter) {
    case 'I':
    case 'T':
      size += static_cast<double>(argument.size()) + 2;
      break;
    case 'A':
      size = plus_growth(size, first.size(), static_cast<double>(second.size()) + 2);
      break;
    case 'S':
      size = plus_growth(size, first.size(),
                         static_cast<double>(second.size()) - static_cast<double>(first.size()));
      break;
    case 'C':
    case 'E':
      size = plus_growth(size, first.size(), second_length + 1);
      break;
    case 'V':
      // One replacement per byte of a line; a line that never ends costs up to the .V bound.
      size += size * std::max(second_length - static_cast<double>(first.size()), 0.0);
      work += 40 * size * (second_length + 1);
      break;
    default:
      break;
  }
}

// Reads the lines as the interpreter does. Target paths lose every "/", so that everything
// happens in the private folder; commands over budget lose their leading "." and are ignored.
Prepared prepare(std::string_view instructions, double size, Budget budget) {
  Prepared prepared{std::string(instructions), {}};
  double work = 0;
  std::size_t line_start = 0;
  while (line_start < instructions.size()) {
    std::size_t lf = instructions.find('\n', line_start);
    std::size_t next = lf == std::string_view::npos ? instructions.size() : lf + 1;
    std::string_view line = instructions.substr(line_start, next - line_start);
    line.remove_suffix(line.ends_with("\r\n") ? 2 : line.ends_with('\n') ? 1 : 0);
    if (line.starts_with('.') && line.find('\0') == std::string_view::npos) {
      char letter = line.size() > 1 ? upper_ascii(line[1]) : '\0';
      std::string_view argument = line.size() > 3 ? line.substr(3) : "";
      if (letter == 'F' || letter == 'G') {
        std::string path(argument);
        std::replace(path.begin(), path.end(), '/', '_');
        if (!path.empty()) prepared.instructions.replace(line_start + 3, path.size(), path);
        prepared.paths.push_back(path);
        work += size;
      } else {
        double new_size = size;
        double new_work = work;
        account(letter, argument, new_size, new_work);
        if (budget == Budget::worst_case && (new_size > kSizeBudget || new_work > kWorkBudget)) {
          prepared.instructions[line_start] = '#';
        } else {
          size = new_size;
          work = new_work;
        }
      }
    }
    line_start = next;
  }
  return prepared;
}

std::vector<std::string_view> split_input(std::string_view input) {
  std::vector<std::string_view> pieces;
  while (pieces.size() < 2) {
    std::size_t at = input.find(kTargetSeparator);
    if (at == std::string_view::npos) break;
    pieces.push_back(input.substr(0, at));
    input.remove_prefix(at + kTargetSeparator.size());
  }
  pieces.push_back(input);
  return pieces;
}

bool storable(const std::string& path) {
  constexpr std::size_t kLongestName = 255;  // the longest a file system takes
  return !path.empty() && path.size() <= kLongestName && path != "." && path != ".." &&
         path != kInstructionName;
}

using Files = std::map<std::string, std::string>;

// The options, one bit each of a byte of the input.
zeltrim::RunSettings settings_from(unsigned char bits) {
  zeltrim::RunSettings settings;
  settings.once = (bits & 1) != 0;
  settings.target.keep_form = (bits & 2) != 0;
  settings.target.unicode = (bits & 4) != 0;
  settings.target.diff = (bits & 8) != 0;
  settings.target.no_write = (bits & 16) != 0;
  settings.target.backup = (bits & 32) != 0;
  settings.strict = (bits & 64) != 0;
  if ((bits & 128) != 0) settings.look_ahead_lines = 1;  // a line added at the top looks past it
  return settings;
}

struct Ran {
  zeltrim::RunOutcome outcome = zeltrim::RunOutcome::completed;
  std::string report;
  Files files;
};

// Runs the instruction file in a folder of its own holding `files`; what it printed and left.
Ran run_in(const std::string& name, const Files& files, const zeltrim::RunSettings& settings) {
  InSubfolder in_subfolder(name);
  clear_folder();
  for (const auto& [path, bytes] : files) {
    if (!write_file(path, bytes)) fail("cannot store a file", path);
  }
  Ran ran;
  {
    CapturedOutput captured;
    ran.outcome =
        zeltrim::run_instruction_file(kInstructionName, settings, zeltrim::platform::system_disk());
    ran.report = captured.text();
  }
  for (const std::string& path : folder_names()) ran.files[path] = read_file(path);
  return ran;
}

// The key a .C or .E of `key` looks for in `line`, as the command compares them: the line's
// text before its first "=" (leading ones skipped) with an "=", letter case aside.
bool has_key(std::string_view line, std::string_view key) {
  std::size_t start = line.find_first_not_of('=');
  if (start == std::string_view::npos) return false;
  std::size_t equals = line.find('=', start);
  std::string_view name =
      line.substr(start, equals == std::string_view::npos ? equals : equals - start);
  return !name.empty() && name.size() + 1 == key.size() && key.back() == '=' &&
         zeltrim::caseless_equal(name, key.substr(0, name.size()));
}

// Whether a .C (at the beginning) or .E addition settles: it brings a list separator of its own,
// on the side that faces the value (before its items at the end, after them at the beginning).
bool addition_settles(std::string_view addition, bool at_beginning) {
  std::size_t first = addition.find_first_not_of(' ');
  if (first == std::string_view::npos || addition.find('\r') != std::string_view::npos)
    return false;
  std::string_view trimmed = addition.substr(first, addition.find_last_not_of(' ') - first + 1);
  auto separator = [](char c) { return c == ';' || c == ',' || c == ':'; };
  if (separator(trimmed.front())) return !at_beginning;
  if (separator(trimmed.back())) return at_beginning;
  if (at_beginning) return addition.ends_with(' ');
  return addition.starts_with(' ');
}

// Whether a job surely settles under /o: it only adds, every .C/.E addition brings its own
// separator facing the value and changes no line the job adds, no line it adds is one that an
// .A of it looks for (.A X.X adds one more X after the last X every time, by its own rule) or
// begins with a byte-order mark, and no two .A insert after the same line.
bool converges(std::string_view instructions) {
  std::vector<std::string_view> searched;
  std::vector<std::string_view> added;
  std::vector<std::string_view> named;
  std::set<std::string_view> started_afresh;
  while (!instructions.empty()) {
    // A line ends with CR LF or a lone LF; a CR at the very end of the file stays in it.
    std::size_t lf = instructions.find('\n');
    std::string_view line = instructions.substr(0, lf);
    instructions.remove_prefix(lf == std::string_view::npos ? instructions.size() : lf + 1);
    line.remove_suffix(lf != std::string_view::npos && line.ends_with('\r') ? 1 : 0);
    if (!line.starts_with('.') || line.size() < 2) continue;
    char letter = upper_ascii(line[1]);
    std::string_view argument = line.size() > 3 ? line.substr(3) : "";
    if (letter == 'R' || letter == 'S' || letter == 'U' || letter == 'V') return false;
    if (letter == 'F' || letter == 'G') named.push_back(argument);
    if (letter == 'G') started_afresh.insert(argument);
    if (letter == 'I' || letter == 'T') added.push_back(argument);
    if (letter == 'A') {
      std::string_view search = zeltrim::first_part(argument);
      if (std::find(searched.begin(), searched.end(), search) != searched.end()) return false;
      searched.push_back(search);
      added.push_back(zeltrim::second_part(argument));
    }
    if ((letter == 'C' || letter == 'E') && zeltrim::has_both_parts(argument)) {
      std::string_view key = zeltrim::first_part(argument);
      std::string_view addition = zeltrim::without_final_dot(zeltrim::second_part(argument));
      if (!addition_settles(addition, letter == 'C')) return false;
      for (std::string_view line_added : added) {
        if (has_key(line_added, key)) return false;
      }
    }
  }
  // A file that .G starts afresh and that is named again is written twice, whatever it held.
  for (std::string_view path : started_afresh) {
    if (std::count(named.begin(), named.end(), path) > 1) return false;
  }
  for (std::string_view line : added) {
    // In encoded text a CR ends a line: such a line reads back as two, and is added again.
    if (line.find('\r') != std::string_view::npos) return false;
    // A file whose first line begins with a byte-order mark is read back in that encoding.
    if (zeltrim::encoding_from_mark(line) != zeltrim::EncodingKind::plain) return false;
    for (std::string_view search : searched) {
      if (zeltrim::caseless_equal(line, search)) return false;
    }
  }
  return true;
}

// With /d, the diffs of the report, applied as patch would to the files as they were, give the
// bytes the run writes (or, where it writes nothing, would write).
void check_diffs(const Ran& ran, const Files& before, const zeltrim::RunSettings& settings,
                 const std::set<std::string>& named) {
  Files expected = ran.files;
  if (settings.target.no_write) {
    zeltrim::RunSettings writing = settings;
    writing.target.no_write = false;
    expected = run_in("write", before, writing).files;
  }
  Files patched = before;
  std::set<std::string> skipped;
  apply_diffs(ran.report, patched, skipped);
  std::set<std::string> names;
  for (const Files* files : {&patched, &expected}) {
    for (const auto& [name, bytes] : *files) names.insert(name);
  }
  // UTF-16 and UTF-32 text is shown as UTF-8 lines, which patch cannot apply.
  auto wide = [](const Files& files, const std::string& name) {
    auto file = files.find(name);
    if (file == files.end()) return false;
    zeltrim::EncodingKind kind = zeltrim::encoding_from_mark(file->second);
    return kind != zeltrim::EncodingKind::plain && kind != zeltrim::EncodingKind::utf8;
  };
  for (const std::string& name : names) {
    bool backup = name.ends_with(".bak") && named.contains(name.substr(0, name.size() - 4));
    if (backup || skipped.contains(name) || name == kInstructionName || wide(before, name) ||
        wide(expected, name)) {
      continue;
    }
    // No diff makes patch make an empty file.
    if (!patched.contains(name) && expected.contains(name) && expected.at(name).empty()) continue;
    if (!patched.contains(name) || !expected.contains(name) || patched[name] != expected[name]) {
      fail("the diff, applied, does not give what the run writes", name);
    }
  }
}

}  // namespace

void check_whole_run(std::string_view input, Budget budget) {
  std::size_t size = input.size();
  std::vector<std::string_view> pieces = split_input(input);
  std::vector<std::string_view> targets(pieces.begin() + 1, pieces.end());
  double target_bytes = 16;
  for (std::string_view target : targets) target_bytes += 2 * static_cast<double>(target.size());
  // An instruction file with a byte-order mark is read as one byte per character: the paths are
  // found in that text, and the file is stored again in its own form.
  zeltrim::platform::Status unused;
  std::optional<std::string> text = zeltrim::read_marked_text(pieces[0], false, unused);
  Prepared prepared = prepare(text ? *text : std::string(), target_bytes, budget);
  if (!text) {
    prepared = Prepared{std::string(pieces[0]), {}};  // refused whole: nothing may change
  } else if (zeltrim::EncodingKind kind = zeltrim::encoding_from_mark(pieces[0]);
             kind == zeltrim::EncodingKind::utf8 || kind == zeltrim::EncodingKind::utf16le ||
             kind == zeltrim::EncodingKind::utf16be) {
    std::string stored(zeltrim::mark_of(kind));
    zeltrim::append_encoded(kind, prepared.instructions, stored);
    prepared.instructions = stored;
  }

  InPrivateFolder in_private_folder;
  Files before;
  before[kInstructionName] = prepared.instructions;
  std::size_t next_target = 0;
  for (const std::string& path : prepared.paths) {
    if (next_target == targets.size()) break;
    if (!storable(path) || before.contains(path)) continue;
    before[path] = std::string(targets[next_target++]);
  }

  zeltrim::RunSettings settings =
      settings_from(size == 0 ? 0 : static_cast<unsigned char>(input[size - 1]));
  // All commands in one pass, and each command in a pass of its own (now and then in test mode,
  // with its traces): the same files either way, and the same report.
  Ran streamed = run_in("one", before, settings);
  zeltrim::RunSettings in_passes = settings;
  in_passes.pass_per_command = true;
  in_passes.test_mode = settings.once && settings.strict;
  Ran passed = run_in("passes", before, in_passes);
  if (streamed.files != passed.files) fail("one pass and passes left different files");
  if (!in_passes.test_mode && streamed.report != passed.report) {
    fail("one pass and passes reported differently", streamed.report + "\n---\n" + passed.report);
  }

  std::set<std::string> named(prepared.paths.begin(), prepared.paths.end());
  for (const auto& [path, bytes] : before) {
    if (!streamed.files.contains(path)) fail("a file vanished", path);
  }
  for (const auto& [path, bytes] : streamed.files) {
    auto old = before.find(path);
    if (old != before.end() && old->second == bytes) continue;
    if (settings.target.no_write) fail("a file changed where nothing may be written", path);
    bool backup = path.ends_with(".bak") && named.contains(path.substr(0, path.size() - 4));
    if (!named.contains(path) && !backup) {
      fail(is_temporary_name(path) ? "a temporary file was left" : "an unnamed file changed", path);
    }
    if (bytes.empty() || backup) continue;  // .G made or emptied it; a backup is old content
    // Written in the file's own form, it reads back to itself; in the program's form, it
    // reloads as the rules kept on purpose say.
    if (settings.target.keep_form || settings.target.unicode) {
      check_kept_form(bytes, settings.target);
    } else {
      check_written_form(bytes);
    }
  }
  if (settings.target.diff) check_diffs(streamed, before, settings, named);
  // Once: the same job again changes nothing, where its additions are not what it looks for and
  // the first run met no error (a file left as it was may be taken otherwise the second time).
  if (settings.once && !settings.target.no_write &&
      streamed.outcome == zeltrim::RunOutcome::completed && converges(prepared.instructions)) {
    Ran again = run_in("one", streamed.files, settings);
    if (again.files != streamed.files) fail("a second run under /o changed a file");
  }
}

}  // namespace zeltrim::fuzz
