// .C and .E: add text to the value of key=value lines such as PATH= or SET PATH=.
#include <string>

#include "commands/command_kit.h"
#include "commands/interpreter.h"
#include "commands/text_search.h"
#include "lines/line_list.h"

namespace zeltrim {

namespace {
constexpr std::string_view kConcat = "  CONCAT line now reads      : %s\n";

// What stands in for a value that is empty, so the line keeps something behind its "=".
constexpr std::string_view kEmptyValue = " ";

struct KeyAndValue {
  std::string_view key;    // before the first "=", leading "=" skipped; never holds "="
  std::string_view value;  // behind that "=", leading LFs skipped, up to the next LF
};

KeyAndValue split_assignment(std::string_view text) {
  KeyAndValue parts;
  std::size_t start = text.find_first_not_of('=');
  if (start == std::string_view::npos) return parts;  // empty, or "=" only: no key
  std::size_t equals = text.find('=', start);
  parts.key = text.substr(start, equals == std::string_view::npos ? equals : equals - start);
  if (equals != std::string_view::npos) {
    std::string_view rest = text.substr(equals + 1);
    std::size_t value_start = rest.find_first_not_of('\n');
    if (value_start != std::string_view::npos) {
      rest.remove_prefix(value_start);
      parts.value = rest.substr(0, rest.find('\n'));
    }
  }
  if (parts.value.empty()) parts.value = kEmptyValue;
  return parts;
}

// A first look that most lines fail at their first byte: a line whose key can equal `name`
// (the command's key without its "=") begins with it, behind any "=", letter case aside.
bool may_have_key(std::string_view text, std::string_view name) {
  std::size_t start = 0;
  while (start < text.size() && text[start] == '=') ++start;
  return text.size() - start >= name.size() &&
         caseless_equal(text.substr(start, name.size()), name);
}

// The line's key with its "=" equals the command's key, letter case aside.
bool key_matches(std::string_view line_key, std::string_view key) {
  return !line_key.empty() && line_key.size() + 1 == key.size() && key.back() == '=' &&
         caseless_equal(line_key, key.substr(0, line_key.size()));
}
}  // namespace

Handled concat_line(std::string_view argument, int at_beginning) {
  TwoParts parts;
  if (!take_traced_parts(argument, parts)) return Handled::missing_part;
  std::string_view key = parts.first;
  std::string_view addition = parts.second;

  std::string_view name = key.substr(0, key.size() - 1);
  std::string new_text;
  for (LineEntry* entry = line_list_head(); entry != nullptr; entry = entry->next) {
    if (!entry->is_text() || !may_have_key(entry->text(), name)) continue;
    KeyAndValue line = split_assignment(entry->text());
    if (!key_matches(line.key, key)) continue;
    // The key is written as the command gives it, so its letter case replaces the line's.
    new_text.assign(key);
    if (at_beginning) {
      new_text.append(addition).append(line.value);
    } else {
      new_text.append(line.value).append(addition);
    }
    set_entry_text(*entry, new_text);
    report(kConcat, entry->text());
  }
  return Handled::done;
}

}  // namespace zeltrim
