// .V and .U: replace a variable with a value wherever it occurs, and delete a text from the
// lines that begin with a given start. After each replacement or deletion the search starts
// again from the line's first byte, so text that a change brings together is changed as well.
#include <string>

#include "commands/command_kit.h"
#include "commands/interpreter.h"
#include "commands/text_search.h"
#include "lines/line_list.h"

namespace zeltrim {

namespace {
constexpr std::string_view kVarsub = "  VARSUB line now reads      : %s\n";
constexpr std::string_view kVarsubEndless = "  VARSUB never ends, kept    : %s\n";
constexpr std::string_view kUnconcat = "  UNCONCAT line now reads      : %s\n";

// No real line needs more than one replacement per byte; a value that keeps forming the
// variable anew would go on for ever, so it is stopped well past that.
constexpr std::size_t kReplacementsPerByte = 8;
constexpr std::size_t kReplacementsAtLeast = 64;

// The line begins with `start` (not empty). Most lines differ at their first byte, which is
// looked at before a full compare is called for.
bool begins_with(std::string_view line, std::string_view start) {
  return !line.empty() && line[0] == start[0] && line.starts_with(start);
}
}  // namespace

std::size_t varsub_limit(std::size_t line_length) {
  return kReplacementsPerByte * line_length + kReplacementsAtLeast;
}

Handled varsub_line(std::string_view argument) {
  TwoParts parts;
  if (!take_traced_parts(argument, parts)) return Handled::missing_part;
  Pattern variable = prepare_pattern(parts.first);
  std::string result;
  for (LineEntry* entry = line_list_head(); entry != nullptr; entry = entry->next) {
    // A line shorter than the variable cannot hold it.
    if (!entry->is_text() || entry->size < parts.first.size()) continue;
    std::string_view text = entry->text();
    switch (replace_restarting(text, variable, parts.second, varsub_limit(text.size()), result)) {
      case Replaced::none:
        break;
      case Replaced::changed:
        set_entry_text(*entry, result);
        report(kVarsub, entry->text());
        break;
      case Replaced::endless:
        report(kVarsubEndless, text);
        break;
    }
  }
  return Handled::done;
}

Handled unconcat_line(std::string_view argument) {
  TwoParts parts;
  if (!take_traced_parts(argument, parts)) return Handled::missing_part;
  Pattern deleted = prepare_pattern(parts.second);
  std::string result;
  for (LineEntry* entry = line_list_head(); entry != nullptr; entry = entry->next) {
    if (!entry->is_text() || !begins_with(entry->text(), parts.first)) continue;
    // Every deletion shortens the line, so this always ends. An empty text to delete
    // deletes nothing; the line is reported all the same.
    if (replace_restarting(entry->text(), deleted, {}, entry->text().size(), result) ==
        Replaced::changed) {
      set_entry_text(*entry, result);
    }
    report(kUnconcat, entry->text());
  }
  return Handled::done;
}

}  // namespace zeltrim
