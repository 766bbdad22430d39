#include "conflicts.h"

#include <map>
#include <string_view>

#include "commands/command_kit.h"
#include "commands/text_search.h"

namespace zeltrim::fuzz {

namespace {

// A command of a file, with the naming it follows.
struct Placed {
  std::size_t naming;
  const JobCommand* command;
};

// Each file's commands in order, over all its namings.
std::map<std::string_view, std::vector<Placed>> commands_by_file(
    const std::vector<JobCommand>& commands) {
  std::map<std::string_view, std::vector<Placed>> files;
  std::vector<Placed>* current = nullptr;
  std::size_t naming = 0;
  for (const JobCommand& command : commands) {
    if (command.letter == 'F' || command.letter == 'G') {
      current = &files[command.argument];
      ++naming;
    } else if (current != nullptr && is_complete(command)) {
      current->push_back({naming, &command});
    }
  }
  return files;
}

std::string_view text_of(const JobCommand& command) {
  return without_final_dot(second_part(command.argument));
}

// Whether `line` holds `part`, letter case aside.
bool holds_caseless(std::string_view line, std::string_view part) {
  for (std::size_t at = 0; at + part.size() <= line.size(); ++at) {
    if (caseless_equal(line.substr(at, part.size()), part)) return true;
  }
  return false;
}

// Whether the command, other than .R, changes the line `line` in some letter case: under /o a
// line that is there letter case aside stands for one an .I, .T or .A adds.
bool changes(const JobCommand& command, std::string_view line) {
  std::string_view first = first_part(command.argument);
  switch (command.letter) {
    case 'S':
      return caseless_equal(line, first);
    case 'V':
      return holds_caseless(line, first);
    case 'U':
      return line.size() >= first.size() && caseless_equal(line.substr(0, first.size()), first) &&
             holds_caseless(line, text_of(command));
    case 'C':
    case 'E':
      return has_key(line, first);
    default:
      return false;
  }
}

// Whether the line `line` is one the command looks for.
bool looks_for(const JobCommand& command, std::string_view line) {
  std::string_view first = first_part(command.argument);
  switch (command.letter) {
    case 'R':
      return caseless_equal(line, command.argument);
    case 'A':
      return line == first;
    default:
      return changes(command, line);
  }
}

// Whether `maker` may make a line that `looker` looks for.
bool may_make(const JobCommand& maker, const JobCommand& looker) {
  switch (maker.letter) {
    case 'S':
      return looks_for(looker, second_part(maker.argument));
    case 'C':
    case 'E':
      // The line keeps its key; its value is any. The items an earlier .C or .E of the key
      // looks for are cut by its separator: a later addition with another one runs into them.
      // One without a separator is there where the value begins (.C) or ends (.E) with it,
      // which a later one on that side puts text before (or after).
      if (looker.letter == 'C' || looker.letter == 'E') {
        if (!caseless_equal(first_part(looker.argument), first_part(maker.argument))) return false;
        std::optional<char> looked = list_separator(text_of(looker));
        if (!looked) return looker.letter == maker.letter;
        return list_separator(text_of(maker)) != looked;
      }
      if (looker.letter == 'U' || looker.letter == 'V') return true;
      return has_key(looker.letter == 'R' ? looker.argument : first_part(looker.argument),
                     first_part(maker.argument));
    case 'U':
    case 'V':
      return std::string_view("RASCEUV").find(looker.letter) != std::string_view::npos;
    default: {
      // An .I, .T or .A makes the line it adds: an .R before it that removes the line moves it
      // behind what the job added after it, on every run until the order settles.
      std::optional<std::string_view> added = added_line(maker);
      return added && looks_for(looker, *added);
    }
  }
}

}  // namespace

bool looks_for_what_a_later_command_makes(const std::vector<JobCommand>& commands) {
  for (const auto& [path, placed] : commands_by_file(commands)) {
    for (std::size_t i = 0; i < placed.size(); ++i) {
      for (std::size_t j = i + 1; j < placed.size(); ++j) {
        if (may_make(*placed[j].command, *placed[i].command)) return true;
      }
    }
  }
  return false;
}

bool conflicts_across_namings(const std::vector<JobCommand>& commands) {
  for (const auto& [path, placed] : commands_by_file(commands)) {
    for (std::size_t i = 0; i < placed.size(); ++i) {
      for (std::size_t j = i + 1; j < placed.size(); ++j) {
        if (placed[i].naming == placed[j].naming) continue;
        const JobCommand& earlier = *placed[i].command;
        const JobCommand& later = *placed[j].command;
        std::optional<std::string_view> earlier_adds = added_line(earlier);
        std::optional<std::string_view> later_adds = added_line(later);
        // Changing a line or looking for it (.R, .A and .S look) are alike here: a line one
        // naming adds and another removes is added again on every run.
        if ((earlier_adds && looks_for(later, *earlier_adds)) ||
            (later_adds && looks_for(earlier, *later_adds))) {
          return true;
        }
      }
    }
  }
  return false;
}

}  // namespace zeltrim::fuzz
