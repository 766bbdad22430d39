// .C and .E: add text to the value of key=value lines such as PATH= or SET PATH=.
#include <string>

#include "commands/handlers.h"
#include "commands/text_search.h"

namespace zeltrim {

namespace {
constexpr std::string_view kConcat = "  CONCAT line now reads      : %s\n";

// What stands in for a value that is empty, so the line keeps something behind its "=".
constexpr std::string_view kEmptyValue = " ";

struct KeyAndValue {
  std::string_view key;    // before the first "=", leading "=" skipped; never holds "="
  std::string_view value;  // everything behind that "=" (a line never holds an LF)
};

KeyAndValue split_assignment(std::string_view text) {
  KeyAndValue parts;
  std::size_t start = text.find_first_not_of('=');
  if (start == std::string_view::npos) return parts;  // empty, or "=" only: no key
  std::size_t equals = text.find('=', start);
  parts.key = text.substr(start, equals == std::string_view::npos ? equals : equals - start);
  if (equals != std::string_view::npos) parts.value = text.substr(equals + 1);
  if (parts.value.empty()) parts.value = kEmptyValue;
  return parts;
}

// A first look that most lines fail at their first byte: a line whose key can equal `name`
// (the command's key without its "=") begins with it, behind any "=", letter case aside.
bool may_have_key(std::string_view text, std::string_view name) {
  std::size_t start = 0;
  while (start < text.size() && text[start] == '=') ++start;
  if (text.size() - start < name.size()) return false;
  // Most lines differ at their first byte.
  if (!name.empty() && ((text[start] ^ name[0]) & ~0x20) != 0) return false;
  return caseless_equal(text.substr(start, name.size()), name);
}

// The addition as one item of a list such as PATH's: without the separators around it. Empty
// when it is nothing but separators, and then it is never found.
constexpr std::string_view kItemSeparators = ";, ";

std::string_view item_of(std::string_view addition) {
  std::size_t start = addition.find_first_not_of(kItemSeparators);
  if (start == std::string_view::npos) return {};
  std::size_t end = addition.find_last_not_of(kItemSeparators);
  return addition.substr(start, end - start + 1);
}

// The value holds the item whole, letter case aside: with the start of the value or a separator
// before it, and the end of the value or a separator after it.
bool holds_item(std::string_view value, std::string_view item) {
  if (item.empty()) return false;
  for (std::size_t at = 0; at + item.size() <= value.size(); ++at) {
    bool starts = at == 0 || kItemSeparators.find(value[at - 1]) != std::string_view::npos;
    std::size_t end = at + item.size();
    bool ends = end == value.size() || kItemSeparators.find(value[end]) != std::string_view::npos;
    if (starts && ends && caseless_equal(value.substr(at, item.size()), item)) return true;
  }
  return false;
}

// The line's key with its "=" equals the command's key, letter case aside.
bool key_matches(std::string_view line_key, std::string_view key) {
  return !line_key.empty() && line_key.size() + 1 == key.size() && key.back() == '=' &&
         caseless_equal(line_key, key.substr(0, line_key.size()));
}

class Concat final : public Command {
 public:
  enum class Where : unsigned char { beginning, end };
  Concat(const CommandContext& context, const TwoParts& parts, Where where)
      : Command(context),
        key_(parts.first),
        name_(parts.first.substr(0, parts.first.size() - 1)),
        addition_(parts.second),
        item_(context.settings().once ? item_of(parts.second) : std::string_view()),
        where_(where),
        first_bytes_(first_bytes_of(name_, true)) {
    first_bytes_['='] = true;  // leading "=" are skipped before the key
  }

  const FirstBytes* first_bytes() const override { return &first_bytes_; }

  Taken take(Line& line) override {
    if (!line.is_text() || !may_have_key(line.text, name_)) return Taken::pass;
    KeyAndValue assignment = split_assignment(line.text);
    if (!key_matches(assignment.key, key_)) return Taken::pass;
    // Where additions are made once, a value that holds the item already is left alone.
    if (holds_item(assignment.value, item_)) {
      context().report(kAlreadyPresent, line.text);
      return Taken::pass;
    }
    // The key is written as the command gives it, so its letter case replaces the line's.
    new_text_.assign(key_);
    if (where_ == Where::beginning) {
      new_text_.append(addition_).append(assignment.value);
    } else {
      new_text_.append(assignment.value).append(addition_);
    }
    line.text = new_text_;
    line.borrowed = true;
    context().report(kConcat, new_text_);
    return Taken::pass;
  }

 private:
  std::string_view key_;
  std::string_view name_;  // the key without its "="
  std::string_view addition_;
  std::string_view item_;  // what must not be added twice; empty where additions may repeat
  Where where_;
  FirstBytes first_bytes_;
  std::string new_text_;
};

std::unique_ptr<Command> prepare_concat(std::string_view argument, const CommandContext& context,
                                        Concat::Where where) {
  TwoParts parts;
  if (!take_traced_parts(argument, context, parts)) return nullptr;
  return std::make_unique<Concat>(context, parts, where);
}
}  // namespace

std::unique_ptr<Command> prepare_concat_at_beginning(std::string_view argument,
                                                     const CommandContext& context) {
  return prepare_concat(argument, context, Concat::Where::beginning);
}

std::unique_ptr<Command> prepare_concat_at_end(std::string_view argument,
                                               const CommandContext& context) {
  return prepare_concat(argument, context, Concat::Where::end);
}

}  // namespace zeltrim
