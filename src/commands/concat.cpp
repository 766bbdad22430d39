// .C and .E: add text to the value of key=value lines such as PATH= or SET PATH=.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

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
  KeyAndValue parts{assignment_key(text), {}};
  std::size_t equals = text.find('=', text.find_first_not_of('='));
  if (equals != std::string_view::npos) parts.value = text.substr(equals + 1);
  if (parts.value.empty()) parts.value = kEmptyValue;
  return parts;
}

// Under /o an addition such as ";C:\UTIL" is a list of items that are added only where the
// value lacks them. The list's separator is the one the addition brings: spaces at its ends set
// aside, its first byte when that is one of these, else its last; failing those, a space when
// it begins or ends with one.
constexpr std::string_view kListSeparators = ";,:";
constexpr char kNoSeparator = '\0';

// The text without any of the bytes `around` at its two ends.
std::string_view trimmed(std::string_view text, std::string_view around) {
  std::size_t start = text.find_first_not_of(around);
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(around) - start + 1);
}

// The text without spaces at its two ends: what every item of a list is compared as. Written
// out, since it runs on every item of every value a .C or .E meets under /o.
std::string_view without_spaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

char separator_of(std::string_view addition) {
  std::string_view items = without_spaces(addition);
  if (!items.empty()) {
    for (char end : {items.front(), items.back()}) {
      if (kListSeparators.find(end) != std::string_view::npos) return end;
    }
  }
  if (addition.starts_with(' ') || addition.ends_with(' ')) return ' ';
  return kNoSeparator;
}

// Calls `each` with every item of `list` (its pieces between separators, spaces at their ends
// set aside, empty ones dropped) and the piece as written, until `each` returns true; returns
// whether one did.
template <typename Each>
bool any_item(std::string_view list, char separator, Each&& each) {
  for (std::size_t start = 0; start <= list.size();) {
    auto end = static_cast<std::size_t>(std::find(list.begin() + start, list.end(), separator) -
                                        list.begin());
    std::string_view piece = list.substr(start, end - start);
    std::string_view item = without_spaces(piece);
    if (!item.empty() && each(item, piece)) return true;
    start = end + 1;
  }
  return false;
}

// An addition without a separator of its own counts as one item, without the separators
// around it, and is present when the value holds it whole, letter case aside: with the start of
// the value or one of these before it, and the end of the value or one of them after it.
constexpr std::string_view kItemSeparators = ";, ";

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

// An addition as /o adds it: the items it brings, each once, that a value may already hold (one
// without a separator is one item).
class ListAddition {
 public:
  explicit ListAddition(std::string_view addition) : separator_(separator_of(addition)) {
    if (separator_ == kNoSeparator) {
      items_.push_back({trimmed(addition, kItemSeparators), addition});
      return;
    }
    before_ = separator_ == ' ' ? addition.starts_with(' ')
                                : without_spaces(addition).starts_with(separator_);
    // An item the addition names twice is added once, as it is written the first time.
    any_item(addition, separator_, [this](std::string_view item, std::string_view piece) {
      auto same = [item](const Item& other) { return caseless_equal(other.item, item); };
      if (std::ranges::none_of(items_, same)) items_.push_back({item, piece});
      return false;
    });
  }

  // Whether the value lacks any of the addition, and what it lacks, written as the addition
  // writes it: each missing item with the separator before it when the addition begins with
  // the separator, else after it.
  bool lacks(std::string_view value, std::string& missing) const {
    missing.clear();
    if (separator_ == kNoSeparator) {
      missing.assign(items_[0].piece);
      return !holds_item(value, items_[0].item);
    }
    for (const Item& wanted : items_) {
      auto same = [&wanted](std::string_view item, std::string_view) {
        return caseless_equal(item, wanted.item);
      };
      if (any_item(value, separator_, same)) continue;
      if (before_) missing.push_back(separator_);
      missing.append(wanted.piece);
      if (!before_) missing.push_back(separator_);
    }
    return !missing.empty();
  }

 private:
  struct Item {
    std::string_view item;   // as it is compared
    std::string_view piece;  // as it is written
  };
  char separator_;
  bool before_ = false;
  std::vector<Item> items_;
};

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
        where_(where) {
    if (context.settings.once) once_.emplace(parts.second);
  }

  LineKey key() const override { return {LineKey::Kind::key, name_}; }

  Taken take(Line& line) override {
    KeyAndValue assignment = split_assignment(line.text);
    if (!line.is_text() || !key_matches(assignment.key, key_)) return Taken::pass;
    // Where additions are made once, only what the value lacks is added.
    std::string_view addition = addition_;
    if (once_) {
      if (!once_->lacks(assignment.value, missing_)) {
        context().report(kAlreadyPresent, line.text);
        return Taken::pass;
      }
      addition = missing_;
    }
    // The key is written as the command gives it, so its letter case replaces the line's.
    new_text_.assign(key_);
    if (where_ == Where::beginning) {
      new_text_.append(addition).append(assignment.value);
    } else {
      new_text_.append(assignment.value).append(addition);
    }
    line.text = new_text_;
    context().report(kConcat, new_text_);
    return Taken::pass;
  }

 private:
  std::string_view key_;
  std::string_view name_;  // the key without its "="
  std::string_view addition_;
  // Where additions are made once: an item the value holds already is not added again.
  std::optional<ListAddition> once_;
  Where where_;
  std::string missing_;
  std::string new_text_;
};

}  // namespace

std::unique_ptr<Command> prepare_concat_at_beginning(std::string_view argument,
                                                     const CommandContext& context) {
  return prepare_traced<Concat>(argument, context, Concat::Where::beginning);
}

std::unique_ptr<Command> prepare_concat_at_end(std::string_view argument,
                                               const CommandContext& context) {
  return prepare_traced<Concat>(argument, context, Concat::Where::end);
}

}  // namespace zeltrim
