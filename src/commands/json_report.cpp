#include "commands/json_report.h"

#include <algorithm>

#include "platform/console.h"
#include "textfile/encoding.h"

namespace zeltrim {

namespace {
constexpr std::string_view kVersion = "3.1";
constexpr std::string_view kKindNames[] = {"plain", "utf-8", "utf-16le", "utf-16be", "utf-32be"};

// How strings give back their bytes: as they are where all of them are UTF-8, else each byte
// as the character of the same number.
enum class TextBytes : unsigned char { utf8, latin1 };

TextBytes text_bytes_of(std::initializer_list<std::string_view> strings) {
  bool all_utf8 = std::all_of(strings.begin(), strings.end(), is_utf8);
  return all_utf8 ? TextBytes::utf8 : TextBytes::latin1;
}

class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}

  void string(std::string_view bytes, TextBytes text_bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    out_.push_back('"');
    for (char c : bytes) {
      auto byte = static_cast<unsigned char>(c);
      if (byte == '"' || byte == '\\') {
        out_.push_back('\\');
        out_.push_back(c);
      } else if (byte == '\n' || byte == '\r' || byte == '\t') {
        out_.push_back('\\');
        out_.push_back(byte == '\n' ? 'n' : byte == '\r' ? 'r' : 't');
      } else if (byte < 0x20) {
        out_.append("\\u00").push_back(kHex[byte >> 4]);
        out_.push_back(kHex[byte & 0xF]);
      } else if (byte >= 0x80 && text_bytes == TextBytes::latin1) {
        out_.push_back(static_cast<char>(0xC0 | byte >> 6));
        out_.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
      } else {
        out_.push_back(c);
      }
    }
    out_.push_back('"');
  }
  void string_or_null(const std::optional<std::string>& text, TextBytes text_bytes) {
    if (text) return string(*text, text_bytes);
    out_.append("null");
  }
  // `"name":`, after a comma unless it opens its object.
  Writer& key(std::string_view name) {
    if (out_.back() != '{') out_.push_back(',');
    out_.push_back('"');
    out_.append(name).append("\":");
    return *this;
  }
  Writer& raw(std::string_view text) {
    out_.append(text);
    return *this;
  }
  // Each item by `write`, in brackets, between commas.
  template <typename Items, typename Write>
  void list(const Items& items, Write&& write) {
    out_.push_back('[');
    bool first = true;
    for (const auto& item : items) {
      if (!first) out_.push_back(',');
      first = false;
      write(item);
    }
    out_.push_back(']');
  }
  void text_bytes(TextBytes text_bytes) {
    key("text_bytes").raw(text_bytes == TextBytes::utf8 ? "\"utf-8\"" : "\"latin-1\"");
  }

 private:
  std::string& out_;
};

void write_target(Writer& json, const JsonReport::TargetReport& target, bool with_diff) {
  TextBytes bytes =
      text_bytes_of({target.path, target.backup.value_or(""), target.error.value_or(""),
                     target.reason.value_or(""), target.diff});
  for (const JsonReport::Change& change : target.changes) {
    if (bytes == TextBytes::utf8) bytes = text_bytes_of({change.text});
  }
  json.raw("{").key("path").string(target.path, bytes);
  json.key("encoding");
  if (target.kind) {
    json.string(kKindNames[static_cast<int>(*target.kind)], TextBytes::utf8);
  } else {
    json.raw("null");
  }
  json.key("changed").raw(target.changed ? "true" : "false");
  json.key("backup").string_or_null(target.backup, bytes);
  json.key("error");
  if (target.error) {
    json.raw("{").key("message").string(*target.error, bytes);
    json.key("reason").string_or_null(target.reason, bytes);
    json.raw("}");
  } else {
    json.raw("null");
  }
  json.key("changes").list(target.changes, [&](const JsonReport::Change& change) {
    json.raw("{").key("line").raw(std::to_string(change.line));
    json.key("command").string(std::string(1, change.command), TextBytes::utf8);
    json.key("action").string(change.action, TextBytes::utf8);
    json.key("text").string(change.text, bytes);
    json.raw("}");
  });
  json.text_bytes(bytes);
  if (with_diff) json.key("diff").string(target.diff, bytes);
  json.raw("}");
}
}  // namespace

std::string message_line(std::string_view format, std::string_view argument) {
  std::string line;
  platform::format_pieces(format, {argument},
                          [&line](std::string_view piece) { line.append(piece); });
  if (line.ends_with('\n')) line.pop_back();
  return line;
}

void JsonReport::add_change(long long line, char command, std::string_view said) {
  // "  LABEL<spaces>: text": the label has no colon of its own.
  std::size_t colon = said.find(':');
  std::string_view label = said.substr(0, colon);
  label.remove_prefix(std::min(label.find_first_not_of(' '), label.size()));
  label.remove_suffix(label.size() - label.find_last_not_of(' ') - 1);
  target().changes.push_back(
      {line, command, std::string(label), std::string(said.substr(colon + 2))});
}

std::string JsonReport::document(int exit) const {
  std::string out;
  Writer json(out);
  TextBytes bytes = text_bytes_of({error.value_or("")});
  for (const std::vector<Problem>* said : {&problems, &warnings}) {
    for (const Problem& problem : *said) {
      if (bytes == TextBytes::utf8) {
        bytes = text_bytes_of({problem.message, problem.target.value_or("")});
      }
    }
  }
  json.raw("{").key("program").raw("\"zeltrim\"");
  json.key("version").string(kVersion, TextBytes::utf8);
  json.key("exit").raw(std::to_string(exit));
  json.key("options").list(options,
                           [&](std::string_view name) { json.string(name, TextBytes::utf8); });
  json.text_bytes(bytes);
  json.key("error").string_or_null(error, bytes);
  json.key("targets").list(
      targets, [&](const TargetReport& target) { write_target(json, target, with_diff); });
  for (auto [name, said] : {std::pair{"problems", &problems}, std::pair{"warnings", &warnings}}) {
    json.key(name).list(*said, [&](const Problem& problem) {
      json.raw("{").key("line").raw(problem.line ? std::to_string(*problem.line) : "null");
      json.key("target").string_or_null(problem.target, bytes);
      json.key("message").string(problem.message, bytes);
      json.raw("}");
    });
  }
  json.raw("}\n");
  return out;
}

}  // namespace zeltrim
