#include "text_rules.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "commands/command_kit.h"
#include "commands/text_search.h"
#include "textfile/encoding.h"

namespace zeltrim::fuzz {

namespace {

constexpr char kQuote = '"';

bool holds_high_byte(std::string_view text) {
  return std::ranges::any_of(text, [](char c) { return static_cast<unsigned char>(c) > 0x7F; });
}

// Each byte as the character of the same number, in UTF-8.
std::string latin1_as_utf8(std::string_view text) {
  std::string out;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out.push_back(c);
    } else {
      out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return out;
}

// In a .BAT or .CMD file quotes belong to one entry of a value, as the Windows command
// interpreter reads them.
bool quotes_are_entries(std::string_view path) {
  if (path.size() < 4) return false;
  std::string_view end = path.substr(path.size() - 4);
  return caseless_equal(end, ".BAT") || caseless_equal(end, ".CMD");
}

// A value that begins and ends with a quote and holds no other.
bool is_quoted(std::string_view value) {
  return value.size() >= 2 && value.front() == kQuote && value.back() == kQuote &&
         value.find(kQuote, 1) == value.size() - 1;
}

// The pieces of `text` between `separator`, blank ones too.
std::vector<std::string_view> pieces_of(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  for (std::size_t start = 0;;) {
    std::size_t end = text.find(separator, start);
    pieces.push_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return pieces;
    start = end + 1;
  }
}

bool caseless_starts(std::string_view text, std::string_view start) {
  return text.size() >= start.size() && caseless_equal(text.substr(0, start.size()), start);
}

bool caseless_ends(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && caseless_equal(text.substr(text.size() - end.size()), end);
}

// An addition without a separator is one item, without the separators around it: there when
// the value holds it whole with ";", ",", a space or an end of the value on either side.
bool holds_item(std::string_view value, std::string_view addition) {
  constexpr std::string_view kAround = ";, ";
  std::size_t first = addition.find_first_not_of(kAround);
  if (first == std::string_view::npos) return false;
  std::string_view item = addition.substr(first, addition.find_last_not_of(kAround) - first + 1);
  for (std::size_t at = 0; at + item.size() <= value.size(); ++at) {
    bool starts = at == 0 || kAround.find(value[at - 1]) != std::string_view::npos;
    std::size_t end = at + item.size();
    bool ends = end == value.size() || kAround.find(value[end]) != std::string_view::npos;
    if (starts && ends && caseless_equal(value.substr(at, item.size()), item)) return true;
  }
  return false;
}

// What /o adds of `addition` to `value`, or nothing where all of it is there: the addition as
// written less each piece whose item the value holds or an earlier piece names, the pieces left
// joined again; an addition without a separator is there as one item or where the value begins
// (.C) or ends (.E) with it.
std::optional<std::string> once_addition(std::string_view value, std::string_view addition,
                                         bool at_beginning) {
  std::optional<char> separator = list_separator(addition);
  if (!separator) {
    bool there = holds_item(value, addition) ||
                 (at_beginning ? caseless_starts(value, addition) : caseless_ends(value, addition));
    return there ? std::nullopt : std::optional<std::string>(addition);
  }
  std::vector<std::string_view> held;
  for (std::string_view piece : pieces_of(value, *separator)) held.push_back(without_spaces(piece));
  std::vector<std::string_view> named;
  std::string kept;
  bool any_item = false;
  bool first = true;
  for (std::string_view piece : pieces_of(addition, *separator)) {
    std::string_view item = without_spaces(piece);
    auto same = [item](std::string_view other) { return caseless_equal(other, item); };
    bool dropped =
        !item.empty() && (std::ranges::any_of(held, same) || std::ranges::any_of(named, same));
    if (!item.empty()) {
      any_item = true;
      named.push_back(item);
    }
    if (dropped) continue;
    if (!first) kept.push_back(*separator);
    kept.append(piece);
    first = false;
  }
  bool every_item_there =
      any_item && std::ranges::all_of(pieces_of(addition, *separator), [&](std::string_view piece) {
        std::string_view item = without_spaces(piece);
        return item.empty() || std::ranges::any_of(held, [item](std::string_view other) {
                 return caseless_equal(other, item);
               });
      });
  if (every_item_there) return std::nullopt;
  return kept;
}

// The line a .C (at the beginning) or .E of `key` with `addition` makes of `line`: the key as
// the command writes it, then the value with the addition at its beginning or end (inside the
// quotes of a quoted value where quotes may be kept); an empty value is a space. Under /o only
// what the value lacks is added, and a line that lacks nothing is left alone.
void concat(Loaded& line, std::string_view key, std::string_view addition, bool at_beginning,
            bool keep_quotes, bool once) {
  if (line.blank || !has_key(line.text, key)) return;
  std::string value = line.text.substr(value_start(line.text));
  if (value.empty()) value = " ";
  bool quoted = keep_quotes && is_quoted(value);
  std::string added(addition);
  if (once) {
    std::string_view items = quoted ? std::string_view(value).substr(1, value.size() - 2) : value;
    std::optional<std::string> lacking = once_addition(items, addition, at_beginning);
    if (!lacking) return;
    added = *lacking;
  }
  std::size_t at = at_beginning ? 0 : value.size();
  if (quoted) at = at_beginning ? 1 : value.size() - 1;
  value.insert(at, added);
  line.text = std::string(key) + value;
}

struct Target {
  EncodingKind kind = EncodingKind::plain;
  std::vector<Loaded> lines;
};

}  // namespace

void check_concat_lines(const ReadJob& job, const Files& before, const Files& after,
                        const TargetOptions& options, bool once) {
  bool only_concat = std::ranges::all_of(job.commands, [](const JobCommand& command) {
    return std::string_view("FGCE").find(command.letter) != std::string_view::npos &&
           brought_text(command).find('\r') == std::string_view::npos;
  });
  if (!only_concat) return;
  // A UTF-16 job read without /u brings characters: into a UTF-8 file they go as UTF-8.
  bool characters = is_utf16_job(job.bytes) && !options.unicode;
  std::map<std::string, Target> targets;
  for (const Naming& naming : job.namings) {
    std::string path(naming.named.argument);
    auto known = targets.find(path);
    if (known == targets.end()) {
      Target target;
      auto old = before.find(path);
      if (old != before.end()) {
        std::optional<std::vector<Loaded>> lines = load_bytes(old->second, options, target.kind);
        if (!lines) return;  // a refused target: not what this check foresees
        target.lines = *lines;
      } else if (naming.named.letter == 'F') {
        return;
      }
      known = targets.emplace(path, target).first;
    }
    Target& target = known->second;
    if (naming.named.letter == 'G') target.lines.clear();
    for (const JobCommand& command : naming.commands) {
      if (!is_complete(command)) continue;
      std::string addition(brought_text(command));
      if (characters && target.kind == EncodingKind::utf8) addition = latin1_as_utf8(addition);
      for (Loaded& line : target.lines) {
        concat(line, first_part(command.argument), addition, command.letter == 'C',
               !quotes_are_entries(path), once);
      }
    }
  }
  for (const auto& [path, target] : targets) {
    auto now = after.find(path);
    if (now == after.end()) fail("a target is gone", path);
    EncodingKind kind = EncodingKind::plain;
    std::optional<std::vector<Loaded>> lines = load_bytes(now->second, options, kind);
    if (!lines || *lines != target.lines) {
      std::string expected;
      for (const Loaded& line : target.lines) expected += line.text + "\n";
      fail("a .C or .E did not put its addition where the value takes it",
           path + ": " + now->second + " --- expected lines: " + expected);
    }
  }
}

void check_utf8_kept(const ReadJob& job, const Files& before, const Files& after) {
  if (!is_utf16_job(job.bytes) && !is_utf8(job.text)) return;
  std::string_view mark = mark_of(EncodingKind::utf8);
  for (const auto& [path, old] : before) {
    if (!old.starts_with(mark) || !is_utf8(std::string_view(old).substr(mark.size()))) continue;
    const std::string& now = after.at(path);
    if (now.starts_with(mark) && !is_utf8(std::string_view(now).substr(mark.size()))) {
      fail("a UTF-8 file holds bytes that are no UTF-8 after the run", path + ": " + now);
    }
  }
}

void check_byte_warnings(const ReadJob& job, const Files& before, const RunSettings& settings,
                         std::string_view errors) {
  const TargetOptions& options = settings.target;
  constexpr std::string_view kWarned = ": bytes above 0x7F go into ";
  bool as_bytes = !is_utf16_job(job.bytes) && !options.unicode;
  // Every warning names a command line, read as bytes, that holds such a byte.
  std::string prefix = "zeltrim: " + std::string(kInstructionName) + ":";
  for (std::size_t start = 0; start < errors.size();) {
    std::size_t end = std::min(errors.find('\n', start), errors.size());
    std::string_view line = errors.substr(start, end - start);
    start = end + 1;
    if (!line.starts_with(prefix)) continue;
    std::string_view rest = line.substr(prefix.size());
    std::size_t digits = rest.find_first_not_of("0123456789");
    if (digits == 0 || digits == std::string_view::npos ||
        !rest.substr(digits).starts_with(kWarned)) {
      continue;
    }
    long long number = std::atoll(std::string(rest.substr(0, digits)).c_str());
    auto named = std::ranges::find(job.commands, number, &JobCommand::number);
    if (!as_bytes || named == job.commands.end() || !holds_high_byte(named->line) ||
        named->letter == 'F' || named->letter == 'G') {
      fail("a warning of bytes above 0x7F names no such line", line);
    }
  }
  // Under /s a job with a problem is carried out not at all.
  if (!as_bytes || (settings.strict && has_problems(job.commands))) return;
  // Every such line whose target is UTF-16 or UTF-32 and was loaded is warned of, once. A .G
  // that adds no line leaves an empty file, which is plain when it is named again.
  std::set<std::string> emptied;
  for (const Naming& naming : job.namings) {
    std::string path(naming.named.argument);
    bool adds = std::ranges::any_of(naming.commands, [](const JobCommand& command) {
      return command.letter == 'I' || command.letter == 'T';
    });
    bool may_be_empty = emptied.contains(path);
    if (naming.named.letter == 'G' && !adds) emptied.insert(path);
    auto old = before.find(path);
    if (old == before.end() || may_be_empty) continue;  // made now: a plain file
    EncodingKind kind = EncodingKind::plain;
    if (!load_bytes(old->second, options, kind) || unit_size(kind) == 1) continue;
    for (const JobCommand& command : naming.commands) {
      if (!is_complete(command) || !holds_high_byte(command.argument) ||
          std::string_view("ITRASCEUV").find(command.letter) == std::string_view::npos) {
        continue;
      }
      std::string warning = "zeltrim: " + std::string(kInstructionName) + ":" +
                            std::to_string(command.number) + std::string(kWarned) + path +
                            " as one character each; /u reads the line as UTF-8\n";
      std::size_t first = errors.find(warning);
      if (first == std::string_view::npos || errors.find(warning, first + 1) != errors.npos) {
        fail("a line whose bytes above 0x7F go into a UTF-16 or UTF-32 file is not warned of once",
             warning);
      }
    }
  }
}

}  // namespace zeltrim::fuzz
