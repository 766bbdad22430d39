#include "run/held_report.h"

#include <cstring>

namespace zeltrim {

namespace {
enum class Event : char {
  mark,
  problem,
  warning,
  named,
  kind,
  refused,
  change,
  trace,
  diff,
  written,
  told,
};

// Reads a kept event's fields in the order they were kept.
class Fields {
 public:
  explicit Fields(std::string_view bytes) : rest_(bytes) {}
  long long number() {
    long long value = 0;
    std::memcpy(&value, rest_.data(), sizeof value);
    rest_.remove_prefix(sizeof value);
    return value;
  }
  std::string_view text() {
    auto size = static_cast<std::size_t>(number());
    std::string_view text = rest_.substr(0, size);
    rest_.remove_prefix(size);
    return text;
  }
  std::optional<std::string> maybe_text() {
    if (number() == 0) return std::nullopt;
    return std::string(text());
  }
  Notice notice() {
    long long line = number();
    std::optional<std::string> target = maybe_text();
    return {line < 0 ? std::nullopt : std::optional(line), target, std::string(text())};
  }

 private:
  std::string_view rest_;
};
}  // namespace

// An event as it is kept: its length, its kind, then its fields one after the other, numbers as
// eight bytes and texts with their length in front.
class HeldReport::Record {
 public:
  explicit Record(Event event) : bytes_(sizeof(std::uint32_t), '\0') {
    bytes_.push_back(static_cast<char>(event));
  }
  Record& number(long long value) {
    bytes_.append(reinterpret_cast<const char*>(&value), sizeof value);
    return *this;
  }
  Record& text(std::string_view text) {
    number(static_cast<long long>(text.size()));
    bytes_.append(text);
    return *this;
  }
  Record& maybe_text(const std::optional<std::string>& text) {
    number(text ? 1 : 0);
    return text ? this->text(*text) : *this;
  }
  Record& notice(const Notice& notice) {
    number(notice.line.value_or(-1)).maybe_text(notice.target);
    return text(notice.message);
  }
  std::string_view bytes() {
    auto size = static_cast<std::uint32_t>(bytes_.size());
    std::memcpy(bytes_.data(), &size, sizeof size);
    return bytes_;
  }

 private:
  std::string bytes_;
};

void HeldReport::keep(Record record) { kept_.append(record.bytes()); }

void HeldReport::mark(std::size_t at) {
  keep(Record(Event::mark).number(static_cast<long long>(at)));
}

void HeldReport::problem(const Notice& problem, bool shown) {
  if (!holding_) return to_.problem(problem, shown);
  keep(Record(Event::problem).notice(problem).number(shown ? 1 : 0));
}

void HeldReport::warning(const Notice& warning) {
  if (!holding_) return to_.warning(warning);
  keep(Record(Event::warning).notice(warning));
}

void HeldReport::named(std::string_view path, Naming naming) {
  if (!holding_) return to_.named(path, naming);
  keep(Record(Event::named).text(path).number(static_cast<long long>(naming)));
}

void HeldReport::kind(EncodingKind kind) {
  if (!holding_) return to_.kind(kind);
  keep(Record(Event::kind).number(static_cast<long long>(kind)));
}

void HeldReport::refused(std::string_view line, const std::optional<std::string>& reason) {
  if (!holding_) return to_.refused(line, reason);
  keep(Record(Event::refused).text(line).maybe_text(reason));
}

void HeldReport::change(long long line, char letter, Change change, std::string_view text) {
  if (!holding_) return to_.change(line, letter, change, text);
  keep(Record(Event::change)
           .number(line)
           .number(letter)
           .number(static_cast<long long>(change))
           .text(text));
}

void HeldReport::trace(std::string_view text) {
  if (!holding_) return to_.trace(text);
  keep(Record(Event::trace).text(text));
}

void HeldReport::diff(std::string_view notes, platform::Spool& diff) {
  if (!holding_) return to_.diff(notes, diff);
  std::string all;
  diff.drain([&all](std::string_view piece) { all.append(piece); });
  keep(Record(Event::diff).text(notes).text(all));
}

void HeldReport::written(const WriteNotice& written) {
  if (!holding_) return to_.written(written);
  Record record(Event::written);
  record.number(written.changed ? 1 : 0).text(written.backup);
  record.number(static_cast<long long>(written.lines.size()));
  for (const std::string& line : written.lines) record.text(line);
  record.number(written.error ? 1 : 0).maybe_text(written.reason);
  keep(record);
}

void HeldReport::told(std::string_view subject, std::string_view message) {
  if (!holding_) return to_.told(subject, message);
  keep(Record(Event::told).text(subject).text(message));
}

void HeldReport::release(const std::function<void(std::size_t)>& at_mark) {
  holding_ = false;
  std::string kept;
  std::size_t at = 0;
  kept_.drain([&](std::string_view piece) {
    kept.append(piece);
    while (kept.size() - at >= sizeof(std::uint32_t)) {
      std::uint32_t size = 0;
      std::memcpy(&size, kept.data() + at, sizeof size);
      if (kept.size() - at < size) break;
      auto event = static_cast<Event>(kept[at + sizeof size]);
      std::size_t head = sizeof size + 1;
      Fields fields(std::string_view(kept).substr(at + head, size - head));
      at += size;
      switch (event) {
        case Event::mark:
          at_mark(static_cast<std::size_t>(fields.number()));
          break;
        case Event::problem: {
          Notice notice = fields.notice();
          to_.problem(notice, fields.number() != 0);
          break;
        }
        case Event::warning:
          to_.warning(fields.notice());
          break;
        case Event::named: {
          std::string_view path = fields.text();
          to_.named(path, static_cast<Naming>(fields.number()));
          break;
        }
        case Event::kind:
          to_.kind(static_cast<EncodingKind>(fields.number()));
          break;
        case Event::refused: {
          std::string_view line = fields.text();
          to_.refused(line, fields.maybe_text());
          break;
        }
        case Event::change: {
          long long line = fields.number();
          auto letter = static_cast<char>(fields.number());
          auto change = static_cast<Change>(fields.number());
          to_.change(line, letter, change, fields.text());
          break;
        }
        case Event::trace:
          to_.trace(fields.text());
          break;
        case Event::diff: {
          std::string_view notes = fields.text();
          platform::Spool diff;
          diff.append(fields.text());
          to_.diff(notes, diff);
          break;
        }
        case Event::written: {
          WriteNotice written;
          written.changed = fields.number() != 0;
          written.backup = fields.text();
          for (long long lines = fields.number(); lines > 0; --lines) {
            written.lines.emplace_back(fields.text());
          }
          written.error = fields.number() != 0;
          written.reason = fields.maybe_text();
          to_.written(written);
          break;
        }
        case Event::told: {
          std::string_view subject = fields.text();
          to_.told(subject, fields.text());
          break;
        }
      }
    }
    kept.erase(0, at);
    at = 0;
  });
}

}  // namespace zeltrim
