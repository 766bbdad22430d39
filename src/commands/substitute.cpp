// .V and .U: replace a variable with a value wherever it occurs, and delete a text from the
// lines that begin with a given start. After each replacement or deletion the search starts
// again from the line's first byte, so text that a change brings together is changed as well.
#include "commands/handlers.h"
#include "commands/text_search.h"

namespace zeltrim {

namespace {

// Whether `text` holds `part` when their letters are compared letter case aside; linear in
// their lengths, as every search of the program is.
bool holds_caseless(std::string_view text, std::string_view part) {
  if (part.empty()) return false;
  std::string lower_part = lowered_ascii(part);
  return find_pattern(lowered_ascii(text), prepare_pattern(lower_part)) != std::string_view::npos;
}

class Varsub final : public Command {
 public:
  Varsub(const CommandContext& context, const TwoParts& parts)
      : Command(context), variable_(prepare_replacement(parts.first, parts.second)) {}

  LineKey key() const override { return {LineKey::Kind::holds, variable_.searched.text}; }
  // In some letter case the text holds the variable wherever it holds it letter case aside.
  bool changes(std::string_view text, Letters letters) const override {
    if (letters == Letters::any_case) {
      return !variable_.value_holds_searched && holds_caseless(text, variable_.searched.text);
    }
    std::string result;
    return replace_restarting(text, variable_, varsub_limit(text.size()), result) ==
           Replaced::changed;
  }

  Taken take(Line& line) override {
    if (!line.is_text()) return Taken::pass;
    Replaced replaced =
        replace_restarting(line.text, variable_, varsub_limit(line.text.size()), result_);
    if (replaced == Replaced::changed) {
      line.text = result_;
      context().report(Change::varsub, result_);
    } else if (replaced == Replaced::endless) {
      context().report(Change::varsub_endless, line.text);
      context().events->problem("VARSUB never ends on a line, kept as it was");
    }
    return Taken::pass;
  }

 private:
  Replacement variable_;
  std::string result_;
};

class Unconcat final : public Command {
 public:
  Unconcat(const CommandContext& context, const TwoParts& parts)
      : Command(context), start_(parts.first), deleted_(prepare_replacement(parts.second, {})) {}

  LineKey key() const override { return {LineKey::Kind::start, start_}; }
  bool changes(std::string_view text, Letters letters) const override {
    if (deleted_.searched.text.empty()) return false;
    if (letters == Letters::any_case) {
      return text.size() >= start_.size() &&
             caseless_equal(text.substr(0, start_.size()), start_) &&
             holds_caseless(text, deleted_.searched.text);
    }
    return text.starts_with(start_) &&
           find_pattern(text, deleted_.searched) != std::string_view::npos;
  }

  Taken take(Line& line) override {
    if (!line.is_text() || !line.text.starts_with(start_)) return Taken::pass;
    // Every deletion shortens the line, so this always ends. An empty text to delete
    // deletes nothing; the line is reported all the same.
    if (replace_restarting(line.text, deleted_, line.text.size(), result_) == Replaced::changed) {
      line.text = result_;
    }
    context().report(Change::unconcat, line.text);
    return Taken::pass;
  }

 private:
  std::string_view start_;
  Replacement deleted_;
  std::string result_;
};

}  // namespace

std::unique_ptr<Command> prepare_varsub(const TwoParts& parts, const CommandContext& context) {
  return std::make_unique<Varsub>(context, parts);
}

std::unique_ptr<Command> prepare_unconcat(const TwoParts& parts, const CommandContext& context) {
  return std::make_unique<Unconcat>(context, parts);
}

}  // namespace zeltrim
