// .I, .T, .R, .A and .S: commands that add, remove or replace whole lines.
#include <string>

#include "commands/command_kit.h"
#include "commands/interpreter.h"
#include "commands/text_search.h"
#include "lines/line_list.h"

namespace zeltrim {

namespace {
constexpr std::string_view kBottom = "  BOTTOM line reads          : %s\n";
constexpr std::string_view kTop = "  TOP line reads             : %s\n";
constexpr std::string_view kRemoved = "  REMOVED line that read     : %s\n";
constexpr std::string_view kAppended = "  APPEND AFTER line reads    : %s\n";
constexpr std::string_view kSwapped = "  SWAPPED line now reads     : %s\n";

constexpr std::string_view kTraceDelete = "TEST MODE: delete line is...%s\n";
constexpr std::string_view kTraceInline = "TEST MODE: inline is : %s\n";
constexpr std::string_view kTraceSearch = "TEST MODE: searchstring : %s\n";
constexpr std::string_view kTraceAdd = "TEST MODE: addstring : %s\n";
constexpr std::string_view kTraceToken1 = "TEST MODE: token1 : %s\n";
constexpr std::string_view kTraceToken2 = "TEST MODE: token2 : %s\n";
constexpr std::string_view kTraceOld = "TEST MODE: oldstring : %s\n";
constexpr std::string_view kTraceOldEnd = "TEST MODE: oldstring : %s\n\n";

// Whole-line matches. The first bytes are compared before the sizes, though the sizes would be
// cheaper to look at: reading the first byte of every line walks the texts of a large target in
// the order they lie in memory, which the processor fetches well ahead, whereas reading only the
// lines of one size jumps about and waits on memory at each of them.
bool line_equals(std::string_view line, std::string_view wanted) {
  if (line.empty() || wanted.empty()) return line.size() == wanted.size();
  return line[0] == wanted[0] && line == wanted;
}

bool line_equals_caseless(std::string_view line, std::string_view wanted) {
  return caseless_equal(line.substr(0, 1), wanted.substr(0, 1)) && caseless_equal(line, wanted);
}
}  // namespace

void bottom_line(std::string_view text) {
  add_bottom(new_line_entry(text));
  report(kBottom, text);
}

void top_line(std::string_view text) {
  add_top(new_line_entry(text));
  report(kTop, text);
}

void remove_line(std::string_view text) {
  for (LineEntry* entry = line_list_head(); entry != nullptr; entry = entry->next) {
    if (!entry->is_text() || !line_equals_caseless(entry->text(), text)) continue;
    trace(kTraceDelete, entry->text());
    entry->kind = EntryKind::removed;
    report(kRemoved, text);
  }
}

Handled append_after(std::string_view argument) {
  trace(kTraceInline, argument);
  std::string_view search = first_part(argument);
  std::string_view addition = second_part(argument);
  if (search.empty() || addition.empty()) return Handled::missing_part;
  trace(kTraceSearch, search);
  trace(kTraceAdd, addition);

  // Every inserted line shares one kept copy of the text.
  std::string_view kept;
  for (LineEntry* entry = line_list_head(); entry != nullptr;) {
    LineEntry* following = entry->next;  // inserted entries are never examined
    if (entry->is_text() && line_equals(entry->text(), search)) {
      if (kept.data() == nullptr) kept = keep_block(addition);
      insert_after(entry, new_kept_entry(kept));
      report(kAppended, addition);
    }
    entry = following;
  }
  return Handled::done;
}

Handled swap_line(std::string_view argument) {
  trace_and_wait(kTraceInline, argument);
  std::string_view old_text = first_part(argument);
  std::string_view new_text = second_part(argument);
  if (old_text.empty() || new_text.empty()) return Handled::missing_part;
  trace(kTraceToken1, old_text);
  trace_and_wait(kTraceToken2, new_text);

  std::string_view kept;
  for (LineEntry* entry = line_list_head(); entry != nullptr; entry = entry->next) {
    if (!entry->is_text() || !line_equals(entry->text(), old_text)) continue;
    trace(kTraceOld, old_text);
    trace(kTraceOldEnd, new_text);
    if (kept.data() == nullptr) kept = keep_block(new_text);
    set_entry_kept_text(*entry, kept);
    report(kSwapped, new_text);
  }
  return Handled::done;
}

}  // namespace zeltrim
