// .C and .E: add text to the value of key=value lines such as PATH= or SET PATH=.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "commands/handlers.h"
#include "commands/text_search.h"

namespace zeltrim {

namespace {

struct KeyAndValue {
  std::string_view key;    // before the first "=", leading "=" skipped; never holds "="
  std::string_view value;  // everything behind that "=", nothing trimmed (a line never holds an LF)
};

KeyAndValue split_assignment(std::string_view text) {
  KeyAndValue parts{assignment_key(text), {}};
  std::size_t equals = text.find('=', text.find_first_not_of('='));
  if (equals != std::string_view::npos) parts.value = text.substr(equals + 1);
  return parts;
}

// A value in double quotes, such as "C:\\Windows" in a registry export or "/usr/bin:/bin" in an
// environment file, holds its items inside them; what is added goes inside too. A value with a
// quote of its own inside is no quoted value.
constexpr char kQuote = '"';

bool is_quoted(std::string_view value) {
  return value.size() >= 2 && value.front() == kQuote && value.back() == kQuote &&
         value.find(kQuote, 1) == value.size() - 1;
}

// In a batch file a quote is part of one entry, as the command interpreter reads it: there a
// value in quotes is extended as any other.
bool quotes_hold_values(std::string_view target) {
  auto ends_with = [target](std::string_view suffix) {
    return target.size() >= suffix.size() &&
           caseless_equal(target.substr(target.size() - suffix.size()), suffix);
  };
  return !ends_with(".BAT") && !ends_with(".CMD");
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

// Calls `each` with every piece of `list` between separators, blank ones too, until `each`
// returns true; returns whether one did.
template <typename Each>
bool any_piece(std::string_view list, char separator, Each&& each) {
  for (std::size_t start = 0; start <= list.size();) {
    auto end = static_cast<std::size_t>(std::find(list.begin() + start, list.end(), separator) -
                                        list.begin());
    if (each(list.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

// Whether the list holds the item: a piece that is the item, spaces at its ends and letter case
// aside.
bool has_item(std::string_view list, char separator, std::string_view item) {
  return any_piece(list, separator, [item](std::string_view piece) {
    return caseless_equal(without_spaces(piece), item);
  });
}

// An addition without a separator of its own is one item, without the separators around it. It
// is present when the value holds it whole, letter case aside, with the start of the value or
// one of these before it and the end of the value or one of them after it; or where the value
// begins (.C) or ends (.E) with the addition itself, as the run before left it.
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

enum class Where : unsigned char { beginning, end };

// An addition as /o adds it: itself as written, less each item the value holds already or that
// an earlier piece of the addition names, each taken out with its own separator. A first run on
// a value that holds none of it adds exactly what the run without /o adds, and no item is glued
// to another that the addition keeps apart.
class ListAddition {
 public:
  ListAddition(std::string_view addition, Where where)
      : addition_(addition), where_(where), separator_(separator_of(addition)) {
    if (separator_ == kNoSeparator) return;
    any_piece(addition, separator_, [this](std::string_view text) {
      Piece piece{text, without_spaces(text), false};
      auto same = [&piece](const Piece& other) { return caseless_equal(other.item, piece.item); };
      piece.repeated = !piece.item.empty() && std::ranges::any_of(pieces_, same);
      items_ = items_ || !piece.item.empty();
      pieces_.push_back(piece);
      return false;
    });
  }

  // Whether the value lacks any of the addition, and what is added to it.
  bool lacks(std::string_view value, std::string& missing) const {
    if (separator_ == kNoSeparator) {
      std::string_view next_to =
          where_ == Where::beginning
              ? value.substr(0, std::min(value.size(), addition_.size()))
              : value.substr(value.size() - std::min(value.size(), addition_.size()));
      missing.assign(addition_);
      return !holds_item(value, trimmed(addition_, kItemSeparators)) &&
             !caseless_equal(next_to, addition_);
    }
    // An addition of separators and spaces alone has no item to find: it is added as written.
    missing.clear();
    bool lacking = !items_;
    bool first = true;
    for (const Piece& piece : pieces_) {
      if (!piece.item.empty() && (piece.repeated || has_item(value, separator_, piece.item))) {
        continue;
      }
      if (!first) missing.push_back(separator_);
      missing.append(piece.text);
      first = false;
      lacking = lacking || !piece.item.empty();
    }
    return lacking;
  }

 private:
  struct Piece {
    // cppcheck-suppress unusedStructMember
    std::string_view text;  // as it is written, spaces kept
    std::string_view item;  // as it is compared: without spaces at its ends (blank: none)
    bool repeated;          // an earlier piece names the same item
  };
  std::string_view addition_;
  Where where_;
  char separator_;
  bool items_ = false;  // some piece names an item
  std::vector<Piece> pieces_;
};

// The line's key with its "=" equals the command's key, letter case aside.
bool key_matches(std::string_view line_key, std::string_view key) {
  return !line_key.empty() && line_key.size() + 1 == key.size() && key.back() == '=' &&
         caseless_equal(line_key, key.substr(0, line_key.size()));
}

// What stands in for a value that is empty, so the line keeps something behind its "=".
constexpr std::string_view kEmptyValue = " ";

class Concat final : public Command {
 public:
  Concat(const CommandContext& context, const TwoParts& parts, Where where)
      : Command(context),
        key_(parts.first),
        name_(parts.first.substr(0, parts.first.size() - 1)),
        addition_(parts.second),
        where_(where),
        quotes_(quotes_hold_values(context.target)) {
    if (context.once) once_.emplace(parts.second, where);
  }

  LineKey key() const override { return {LineKey::Kind::key, name_}; }

  // Keys and items are compared letter case aside: every case of a text fares alike.
  bool changes(std::string_view text, Letters /*letters*/) const override {
    KeyAndValue assignment = split_assignment(text);
    std::string missing;
    return key_matches(assignment.key, key_) &&
           (!once_ || once_->lacks(value_of(assignment), missing));
  }

  Taken take(Line& line) override {
    KeyAndValue assignment = split_assignment(line.text);
    if (!line.is_text() || !key_matches(assignment.key, key_)) return Taken::pass;
    bool quoted = quotes_ && is_quoted(assignment.value);
    std::string_view value = value_of(assignment);
    // Where additions are made once, only what the value lacks is added.
    std::string_view addition = addition_;
    if (once_) {
      if (!once_->lacks(value, missing_)) {
        context().report(Change::already_present, line.text);
        return Taken::pass;
      }
      addition = missing_;
    }
    // The key is written as the command gives it, so its letter case replaces the line's.
    new_text_.assign(key_);
    if (quoted) new_text_.push_back(kQuote);
    if (where_ == Where::beginning) {
      new_text_.append(addition).append(value);
    } else {
      new_text_.append(value).append(addition);
    }
    if (quoted) new_text_.push_back(kQuote);
    line.text = new_text_;
    context().report(Change::concat, new_text_);
    return Taken::pass;
  }

 private:
  // The value the addition goes to: inside its quotes, or a space for an empty one.
  std::string_view value_of(const KeyAndValue& assignment) const {
    if (quotes_ && is_quoted(assignment.value)) {
      return assignment.value.substr(1, assignment.value.size() - 2);
    }
    return assignment.value.empty() ? kEmptyValue : assignment.value;
  }

  std::string_view key_;
  std::string_view name_;  // the key without its "="
  std::string_view addition_;
  Where where_;
  bool quotes_;  // a value in double quotes takes the addition inside them
  // Where additions are made once: an item the value holds already is not added again.
  std::optional<ListAddition> once_;
  std::string missing_;
  std::string new_text_;
};

}  // namespace

std::unique_ptr<Command> prepare_concat_at_beginning(const TwoParts& parts,
                                                     const CommandContext& context) {
  return std::make_unique<Concat>(context, parts, Where::beginning);
}

std::unique_ptr<Command> prepare_concat_at_end(const TwoParts& parts,
                                               const CommandContext& context) {
  return std::make_unique<Concat>(context, parts, Where::end);
}

}  // namespace zeltrim
