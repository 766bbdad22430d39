#include "settling.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <span>

#include "commands/command_kit.h"
#include "commands/text_search.h"
#include "conflicts.h"
#include "textfile/encoding.h"
#include "textfile/target_file.h"

namespace zeltrim::fuzz {

namespace {

using Commands = std::vector<JobCommand>;

bool is_concat(const JobCommand& command) {
  return (command.letter == 'C' || command.letter == 'E') && is_complete(command);
}

// The shapes, each as README names it. A job that has one may change a file on every run.

// An addition that brings no item, only separators or spaces: /o adds it as written, every time.
bool adds_no_item(const Commands& commands) {
  return std::ranges::any_of(commands, [](const JobCommand& command) {
    return is_concat(command) &&
           brought_text(command).find_first_not_of(";,: ") == std::string_view::npos;
  });
}

bool separator_on_the_far_side(const Commands& commands) {
  return std::ranges::any_of(commands, [](const JobCommand& command) {
    if (!is_concat(command)) return false;
    std::string_view addition = brought_text(command);
    std::optional<char> separator = list_separator(addition);
    if (!separator) return false;  // one item, present once the value begins or ends with it
    bool at_beginning = command.letter == 'C';
    if (*separator == ' ') {
      return at_beginning ? !addition.ends_with(' ') : !addition.starts_with(' ');
    }
    std::string_view items = without_spaces(addition);
    return at_beginning ? items.back() != *separator : items.front() != *separator;
  });
}

bool appends_what_it_looks_for(const Commands& commands) {
  return std::ranges::any_of(commands, [](const JobCommand& command) {
    return command.letter == 'A' && is_complete(command) &&
           first_part(command.argument) == second_part(command.argument);
  });
}

bool appends_twice_after_one_line(const Commands& commands) {
  std::set<std::string_view> searched;
  for (const JobCommand& command : commands) {
    if (command.letter != 'A' || !is_complete(command)) continue;
    if (!searched.insert(first_part(command.argument)).second) return true;
  }
  return false;
}

bool brings_a_cr(const Commands& commands) {
  return std::ranges::any_of(commands, [](const JobCommand& command) {
    return brought_text(command).find('\r') != std::string_view::npos;
  });
}

bool starts_a_line_with_a_mark(const Commands& commands) {
  constexpr std::array<std::string_view, 3> kMarks = {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
  return std::ranges::any_of(commands, [&](const JobCommand& command) {
    std::string_view text = brought_text(command);
    if (std::optional<std::string_view> line = added_line(command)) {
      return encoding_from_mark(line->substr(0, kMarkProbe)) != EncodingKind::plain;
    }
    // A value put in place of a variable may begin the first line.
    return command.letter == 'V' && std::ranges::any_of(kMarks, [&](std::string_view mark) {
             return text.find(mark) != std::string_view::npos;
           });
  });
}

bool names_a_fresh_file_twice(const Commands& commands) {
  std::map<std::string_view, int> namings;
  std::set<std::string_view> afresh;
  for (const JobCommand& command : commands) {
    if (command.letter != 'F' && command.letter != 'G') continue;
    ++namings[command.argument];
    if (command.letter == 'G') afresh.insert(command.argument);
  }
  return std::ranges::any_of(afresh, [&](std::string_view path) { return namings[path] > 1; });
}

// In plain text a line that begins with the end mark ends the file when it is read again: the
// lines after it are dropped, and added again.
bool adds_a_line_with_the_end_mark(const Commands& commands) {
  return std::ranges::any_of(commands, [](const JobCommand& command) {
    std::optional<std::string_view> line = added_line(command);
    return (line && line->starts_with(kEndMark)) ||
           (command.letter == 'V' &&
            brought_text(command).find(kEndMark) != std::string_view::npos);
  });
}

// An addition that holds a double quote, put inside the quotes of a value, leaves a value that
// holds other quotes: the next run takes its items outside them.
bool adds_a_quote(const Commands& commands) {
  return std::ranges::any_of(commands, [](const JobCommand& command) {
    return is_concat(command) && brought_text(command).find('"') != std::string_view::npos;
  });
}

struct Shape {
  std::string_view says;
  bool (*found)(const Commands&);
};

// The shapes README lists.
constexpr Shape kListedShapes[] = {
    {"a .C or .E addition whose separator is not on the side that meets the value",
     separator_on_the_far_side},
    {"an addition of separators and spaces alone", adds_no_item},
    {"an .A that inserts the very line it looks for", appends_what_it_looks_for},
    {"two .A that insert after the same line", appends_twice_after_one_line},
    {"an added text that holds a CR byte", brings_a_cr},
    {"a first line that begins with the bytes of a byte-order mark", starts_a_line_with_a_mark},
    {"a file that .G starts afresh named twice in one job", names_a_fresh_file_twice},
    {"an added line that begins with the end mark", adds_a_line_with_the_end_mark},
    {"a .C or .E addition that holds a double quote", adds_a_quote},
    {"a command that looks for what a later command on the same file makes",
     looks_for_what_a_later_command_makes},
    {"a line one naming of a file adds that another naming changes or looks for",
     conflicts_across_namings},
};

// The items of an addition as any separator /o may take would cut it, spaces at their ends set
// aside: each, wherever it stands, would be looked for as an item of the value.
std::vector<std::string> any_items(std::string_view addition) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (std::size_t at = 0; at <= addition.size(); ++at) {
    if (at < addition.size() &&
        std::string_view(";,: ").find(addition[at]) == std::string_view::npos) {
      continue;
    }
    std::string_view item = without_spaces(addition.substr(start, at - start));
    if (!item.empty()) items.push_back(folded(item));
    start = at + 1;
  }
  return items;
}

}  // namespace

std::optional<std::string_view> unsettled_shape(const std::vector<JobCommand>& commands) {
  for (const Shape& shape : kListedShapes) {
    if (shape.found(commands)) return shape.says;
  }
  return std::nullopt;
}

bool finds_nothing_present(const std::vector<JobCommand>& commands,
                           const std::vector<std::string>& lines) {
  std::set<std::string> line_set(lines.begin(), lines.end());
  std::set<std::string> added;
  for (const JobCommand& command : commands) {
    // .V and .U make texts no one can foresee from the job alone.
    if (command.letter == 'V' || command.letter == 'U') return false;
    std::optional<std::string_view> line = added_line(command);
    if (!line) continue;
    std::string text = folded(*line);
    if (line_set.contains(text) || !added.insert(text).second) return false;
    // A .C or .E could make a line equal to it.
    for (const JobCommand& concat : commands) {
      if (is_concat(concat) && has_key(*line, first_part(concat.argument))) return false;
    }
  }
  for (const JobCommand& concat : commands) {
    if (!is_concat(concat)) continue;
    std::vector<std::string> items = any_items(brought_text(concat));
    // An addition of separators alone brings no item: what /o adds of it is its own rule.
    if (items.empty()) return false;
    std::set<std::string> distinct(items.begin(), items.end());
    if (distinct.size() != items.size()) return false;
    for (const std::string& item : items) {
      auto holds = [&item](std::string_view text) {
        return folded(text).find(item) != std::string::npos;
      };
      if (std::ranges::any_of(lines, holds)) return false;
      for (const JobCommand& other : commands) {
        if (&other != &concat && holds(other.argument)) return false;
      }
    }
  }
  return true;
}

}  // namespace zeltrim::fuzz
