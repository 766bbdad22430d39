// The whole-run harness's input made into a job (whole_run.h): the instruction file kept within
// budget, its targets and NAME.bak files stored under the names it gives, the options.
#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/command_kit.h"
#include "folder_rules.h"
#include "job_text.h"
#include "platform/files.h"
#include "textfile/encoding.h"
#include "textfile/target_file.h"
#include "whole_run.h"

namespace zeltrim::fuzz {
namespace {

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

// The suffixes of backups: the usual one, and those --suffix gives.
constexpr std::string_view kSuffixes[] = {".bak", ".bak", "~", ".BAK"};

// What a NAME.bak that the user kept before the run holds.
std::string users_backup(const std::string& path) {
  return "the user's own copy of " + path + "\r\n";
}

}  // namespace

RunSettings settings_from(unsigned char bits) {
  RunSettings settings;
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

void check_whole_run(std::string_view input, Budget budget) {
  std::size_t size = input.size();
  std::vector<std::string_view> pieces = split_input(input);
  std::vector<std::string_view> targets(pieces.begin() + 1, pieces.end());
  double target_bytes = 16;
  for (std::string_view target : targets) target_bytes += 2 * static_cast<double>(target.size());
  // An instruction file with a byte-order mark is read as one byte per character: the paths are
  // found in that text, and the file is stored again in its own form.
  platform::Status unused;
  std::optional<std::string> text = read_marked_text(pieces[0], false, unused);
  Prepared prepared = prepare(text ? *text : std::string(), target_bytes, budget);
  if (!text) {
    prepared = Prepared{std::string(pieces[0]), {}};  // refused whole: nothing may change
  } else if (EncodingKind kind = encoding_from_mark(pieces[0]); kind == EncodingKind::utf8 ||
                                                                kind == EncodingKind::utf16le ||
                                                                kind == EncodingKind::utf16be) {
    std::string stored(mark_of(kind));
    append_encoded(kind, prepared.instructions, stored);
    prepared.instructions = stored;
  }

  Job job{prepared.instructions,
          {},
          settings_from(size == 0 ? 0 : static_cast<unsigned char>(input[size - 1]))};
  // Bits 0 and 1 of the byte before the last: a backup beside the first and the second target
  // stored; bits 2 and 3: beside the first and the second path named that the folder lacks;
  // bits 4 and 5: the suffix backups take.
  unsigned char backups = size < 2 ? 0 : static_cast<unsigned char>(input[size - 2]);
  job.settings.target.backup_suffix = kSuffixes[(backups >> 4) & 3];
  std::vector<std::string> stored;
  std::vector<std::string> missing;
  std::size_t next_target = 0;
  for (const std::string& path : prepared.paths) {
    if (!storable(path) || job.files.contains(path)) continue;
    if (next_target < targets.size()) {
      job.files[path] = std::string(targets[next_target++]);
      stored.push_back(path);
    } else if (std::ranges::find(missing, path) == missing.end()) {
      missing.push_back(path);
    }
  }
  for (std::size_t i = 0; i < 2; ++i) {
    for (const auto& [paths, bit] : {std::pair{&stored, 1u << i}, std::pair{&missing, 4u << i}}) {
      if ((backups & bit) == 0 || i >= paths->size()) continue;
      std::string backup = backup_name((*paths)[i], job.settings.target);
      if (storable(backup) && !job.files.contains(backup)) {
        job.files[backup] = users_backup((*paths)[i]);
      }
    }
  }
  check_job(job);
}

}  // namespace zeltrim::fuzz
