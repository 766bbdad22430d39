// Whole runs. The input is an instruction file, then optionally kSeparator and a first target,
// then kSeparator and a second target. The targets are stored under the first two names that
// .F or .G lines give, the instruction file is carried out in a private folder, and then:
// - nothing crashed and the run ended (libFuzzer's -timeout catches a run that does not);
// - a file that no .F or .G named is unchanged, and no temporary file is left;
// - every file that changed is empty (.G) or in the program's written form, and reloads to
//   itself (write, load, write is a fixed point) apart from the rules kept on purpose that
//   check_written_form accounts for.
// Inputs of odd length run in test mode (its waits read /dev/null and return at once).
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
#include "fuzz_kit.h"
#include "platform/console.h"
#include "target/encoding.h"
#include "target/target_file.h"

namespace zeltrim::fuzz {
namespace {

constexpr std::string_view kSeparator("\0ZT\0", 4);
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
Prepared prepare(std::string_view instructions, double size) {
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
        if (new_size > kSizeBudget || new_work > kWorkBudget) {
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
    std::size_t at = input.find(kSeparator);
    if (at == std::string_view::npos) break;
    pieces.push_back(input.substr(0, at));
    input.remove_prefix(at + kSeparator.size());
  }
  pieces.push_back(input);
  return pieces;
}

bool storable(const std::string& path) {
  return !path.empty() && path != "." && path != ".." && path != kInstructionName;
}

}  // namespace
}  // namespace zeltrim::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zeltrim::fuzz;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> pieces = split_input(input);
  std::vector<std::string_view> targets(pieces.begin() + 1, pieces.end());
  double target_bytes = 16;
  for (std::string_view target : targets) target_bytes += 2 * static_cast<double>(target.size());
  // An instruction file with a byte-order mark is read as one byte per character: the paths are
  // found in that text, and the file is stored again in its own form.
  std::optional<std::string> text = zeltrim::read_marked_text(pieces[0], false);
  Prepared prepared = prepare(text ? *text : std::string(), target_bytes);
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
  clear_folder();
  std::map<std::string, std::string> before;
  if (!write_file(kInstructionName, prepared.instructions)) fail("cannot store the instructions");
  before[kInstructionName] = prepared.instructions;
  std::size_t next_target = 0;
  for (const std::string& path : prepared.paths) {
    if (next_target == targets.size()) break;
    if (!storable(path) || before.contains(path)) continue;
    std::string bytes(targets[next_target++]);
    if (write_file(path, bytes)) before[path] = bytes;
  }

  zeltrim::RunSettings settings;
  settings.test_mode = size % 2 == 1;
  zeltrim::run_instruction_file(kInstructionName, settings);

  std::set<std::string> named(prepared.paths.begin(), prepared.paths.end());
  std::vector<std::string> after = folder_names();
  for (const auto& [path, bytes] : before) {
    if (!std::binary_search(after.begin(), after.end(), path)) fail("a file vanished", path);
  }
  for (const std::string& path : after) {
    std::string bytes = read_file(path);
    auto old = before.find(path);
    if (old != before.end() && old->second == bytes) continue;
    if (!named.contains(path)) {
      fail(is_temporary_name(path) ? "a temporary file was left" : "an unnamed file changed", path);
    }
    if (bytes.empty()) continue;  // .G emptied or made it, and an empty list is never written
    check_written_form(bytes);
  }
  return 0;
}
