// .I, .T, .R, .A and .S: commands that add, remove or replace whole lines.
#include <optional>
#include <string>

#include "commands/handlers.h"
#include "lines/caseless.h"

namespace zeltrim {

bool is_already_there(std::string_view added, const Line& line) {
  // An empty line added before is a blank line once the file is read again: it is there too.
  return (line.is_text() || added.empty()) && caseless_equal(line.text, added);
}

namespace {
// Where additions are made once, a line that is there letter case aside stands for the added one.
Letters letters_present(bool once) { return once ? Letters::any_case : Letters::as_written; }

constexpr std::string_view kTraceDelete = "TEST MODE: delete line is...%s\n";
constexpr std::string_view kTraceOld = "TEST MODE: oldstring : %s\n";
constexpr std::string_view kTraceOldEnd = "TEST MODE: oldstring : %s\n\n";

// .I and .T: one line, added before every line or after every line. Where additions are made
// once, a text line equal to it, letter case aside, means it is there already: .I watches the
// lines as they pass; .T must know before the first, and takes the answer it is given.
class AddLine final : public Command {
 public:
  enum class Where : unsigned char { top, bottom };
  AddLine(const CommandContext& context, std::string_view text, Where where)
      : Command(context), text_(text), where_(where), once_(context.once) {}

  LineKey key() const override {
    return once_ ? LineKey{LineKey::Kind::whole_caseless, text_} : LineKey{LineKey::Kind::none, {}};
  }
  std::optional<AddedLine> added() const override {
    return AddedLine{text_, letters_present(once_)};
  }
  void begin() override {
    met_.reset();
    if (where_ == Where::top) add(Change::top, once_ ? context().top_line->present : std::nullopt);
  }
  // A line added at the top notes the lines it meets too: the answer it was given may have come
  // from the first lines only.
  Taken take(Line& line) override {
    if (!met_ && is_already_there(text_, line)) {
      met_.emplace(line.text);
      if (where_ == Where::top) context().top_line->met = met_;
    }
    return Taken::pass;
  }
  void end() override {
    if (where_ == Where::bottom) add(Change::bottom, met_);
  }

 private:
  void add(Change report, const std::optional<std::string>& present) {
    if (present) return context().report(Change::already_present, *present);
    queue(Line{text_});  // a line added: no origin, the usual break
    context().report(report, text_);
  }

  std::string_view text_;
  Where where_;
  bool once_;
  std::optional<std::string> met_;  // the first line equal to the text, as it reads
};

class Remove final : public Command {
 public:
  Remove(const CommandContext& context, std::string_view text) : Command(context), text_(text) {}

  LineKey key() const override { return {LineKey::Kind::whole_caseless, text_}; }

  Taken take(Line& line) override {
    if (!line.is_text() || !caseless_equal(line.text, text_)) return Taken::pass;
    context().trace(kTraceDelete, line.text);
    // The report shows the text as the command gives it, not the line's own letter case.
    context().report(Change::removed, text_);
    return Taken::drop;
  }

 private:
  std::string_view text_;
};

// Where additions are made once, a line is not added after a match that the same text already
// follows: the match is held until the line after it is seen.
class AppendAfter final : public Command {
 public:
  AppendAfter(const CommandContext& context, std::string_view search, std::string_view addition)
      : Command(context), search_(search), addition_(addition), once_(context.once) {}

  // Where additions are made once, the line after a match is looked at too: the command says
  // so when it holds the match.
  LineKey key() const override { return {LineKey::Kind::whole, search_}; }
  std::optional<AddedLine> added() const override {
    return AddedLine{addition_, letters_present(once_)};
  }
  std::optional<std::string_view> looked_for() const override { return search_; }
  void begin() override { holding_ = false; }

  Taken take(Line& line) override {
    bool match = line.is_text() && line.text == search_;
    if (!holding_ && !match) return Taken::pass;
    if (holding_) release(&line);
    // Only where additions are made once does a match wait for the line after it.
    if (!match || !once_) {
      queue(line);
      if (match) add();
      return Taken::queued;
    }
    hold(line);
    return Taken::kept_back;
  }
  void end() override {
    if (holding_) release(nullptr);
  }

 private:
  void add() {
    queue(Line{addition_});
    context().report(Change::appended, addition_);
  }
  void hold(const Line& line) {
    held_ = line;
    held_text_.assign(line.text);
    held_.text = held_text_;
    holding_ = true;
  }
  // The held match goes on, followed by the addition unless `next` is that text already.
  void release(const Line* next) {
    holding_ = false;
    released_text_.swap(held_text_);
    held_.text = released_text_;

    queue(held_);
    if (next != nullptr && next->is_text() && next->text == addition_) {
      context().report(Change::already_present, next->text);
    } else {
      add();
    }
  }

  std::string_view search_;
  std::string_view addition_;
  bool once_;
  bool holding_ = false;
  Line held_;
  std::string held_text_;
  std::string released_text_;
};

class Swap final : public Command {
 public:
  Swap(const CommandContext& context, std::string_view old_text, std::string_view new_text)
      : Command(context), old_text_(old_text), new_text_(new_text) {}

  LineKey key() const override { return {LineKey::Kind::whole, old_text_}; }
  std::optional<AddedLine> added() const override { return AddedLine{new_text_}; }
  std::optional<std::string_view> looked_for() const override { return old_text_; }
  bool changes(std::string_view text, Letters letters) const override {
    return old_text_ != new_text_ &&
           (letters == Letters::any_case ? caseless_equal(text, old_text_) : text == old_text_);
  }

  Taken take(Line& line) override {
    if (!line.is_text() || line.text != old_text_) return Taken::pass;
    context().trace(kTraceOld, old_text_);
    context().trace(kTraceOldEnd, new_text_);
    line.text = new_text_;
    context().report(Change::swapped, new_text_);
    return Taken::pass;
  }

 private:
  std::string_view old_text_;
  std::string_view new_text_;
};

}  // namespace

std::unique_ptr<Command> prepare_bottom(const TwoParts& argument, const CommandContext& context) {
  return std::make_unique<AddLine>(context, argument.first, AddLine::Where::bottom);
}

std::unique_ptr<Command> prepare_top(const TwoParts& argument, const CommandContext& context) {
  return std::make_unique<AddLine>(context, argument.first, AddLine::Where::top);
}

std::unique_ptr<Command> prepare_remove(const TwoParts& argument, const CommandContext& context) {
  return std::make_unique<Remove>(context, argument.first);
}

std::unique_ptr<Command> prepare_append_after(const TwoParts& parts,
                                              const CommandContext& context) {
  return std::make_unique<AppendAfter>(context, parts.first, parts.second);
}

std::unique_ptr<Command> prepare_swap(const TwoParts& parts, const CommandContext& context) {
  return std::make_unique<Swap>(context, parts.first, parts.second);
}

}  // namespace zeltrim
