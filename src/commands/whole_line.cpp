// .I, .T, .R, .A and .S: commands that add, remove or replace whole lines.
#include <optional>
#include <string>

#include "commands/handlers.h"
#include "commands/text_search.h"

namespace zeltrim {

bool is_already_there(std::string_view added, const Line& line) {
  // An empty line added before is a blank line once the file is read again: it is there too.
  return (line.is_text() || added.empty()) && caseless_equal(line.text, added);
}

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

// .I and .T: one line, added before every line or after every line. Where additions are made
// once, a text line equal to it, letter case aside, means it is there already: .I watches the
// lines as they pass; .T must know before the first, and takes the answer it is given.
class AddLine final : public Command {
 public:
  enum class Where : unsigned char { top, bottom };
  AddLine(const CommandContext& context, std::string_view text, Where where)
      : Command(context), text_(text), where_(where), once_(context.settings.once) {}

  LineKey key() const override {
    return once_ ? LineKey{LineKey::Kind::whole_caseless, text_} : LineKey{LineKey::Kind::none, {}};
  }
  std::optional<std::string_view> added() const override { return text_; }
  void begin() override {
    met_.reset();
    if (where_ == Where::top) add(kTop, once_ ? context().top_line->present : std::nullopt);
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
    if (where_ == Where::bottom) add(kBottom, met_);
  }

 private:
  void add(std::string_view report, const std::optional<std::string>& present) {
    if (present) return context().report(kAlreadyPresent, *present);
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
    context().report(kRemoved, text_);
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
      : Command(context), search_(search), addition_(addition), once_(context.settings.once) {}

  // Where additions are made once, the line after a match is looked at too: the command says
  // so when it holds the match.
  LineKey key() const override { return {LineKey::Kind::whole, search_}; }
  std::optional<std::string_view> added() const override { return addition_; }
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
    return Taken::held;
  }
  void end() override {
    if (holding_) release(nullptr);
  }

 private:
  void add() {
    queue(Line{addition_});
    context().report(kAppended, addition_);
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
      context().report(kAlreadyPresent, next->text);
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
  std::optional<std::string_view> added() const override { return new_text_; }
  std::optional<std::string_view> looked_for() const override { return old_text_; }
  bool changes(std::string_view text) const override {
    return text == old_text_ && old_text_ != new_text_;
  }

  Taken take(Line& line) override {
    if (!line.is_text() || line.text != old_text_) return Taken::pass;
    context().trace(kTraceOld, old_text_);
    context().trace(kTraceOldEnd, new_text_);
    line.text = new_text_;
    context().report(kSwapped, new_text_);
    return Taken::pass;
  }

 private:
  std::string_view old_text_;
  std::string_view new_text_;
};

}  // namespace

std::unique_ptr<Command> prepare_bottom(std::string_view argument, const CommandContext& context) {
  return std::make_unique<AddLine>(context, argument, AddLine::Where::bottom);
}

std::unique_ptr<Command> prepare_top(std::string_view argument, const CommandContext& context) {
  return std::make_unique<AddLine>(context, argument, AddLine::Where::top);
}

std::unique_ptr<Command> prepare_remove(std::string_view argument, const CommandContext& context) {
  return std::make_unique<Remove>(context, argument);
}

std::unique_ptr<Command> prepare_append_after(std::string_view argument,
                                              const CommandContext& context) {
  context.trace(kTraceInline, argument);
  std::string_view search = first_part(argument);
  std::string_view addition = second_part(argument);
  if (search.empty() || addition.empty()) return nullptr;
  context.trace(kTraceSearch, search);
  context.trace(kTraceAdd, addition);
  return std::make_unique<AppendAfter>(context, search, addition);
}

std::unique_ptr<Command> prepare_swap(std::string_view argument, const CommandContext& context) {
  context.trace_and_wait(kTraceInline, argument);
  std::string_view old_text = first_part(argument);
  std::string_view new_text = second_part(argument);
  if (old_text.empty() || new_text.empty()) return nullptr;
  context.trace(kTraceToken1, old_text);
  context.trace_and_wait(kTraceToken2, new_text);
  return std::make_unique<Swap>(context, old_text, new_text);
}

}  // namespace zeltrim
