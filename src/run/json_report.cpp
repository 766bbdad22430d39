#include "run/json_report.h"

#include <algorithm>

#include "platform/console.h"
#include "textfile/encoding.h"

namespace zeltrim {

namespace {
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

constexpr std::string_view kWaiting = "Waiting for %s: another run of ZELTRIM is editing it";

void write_notices(Writer& json, std::string_view name, const std::vector<Notice>& notices,
                   TextBytes bytes) {
  json.key(name).list(notices, [&](const Notice& notice) {
    json.raw("{").key("line").raw(notice.line ? std::to_string(*notice.line) : "null");
    json.key("target").string_or_null(notice.target, bytes);
    json.key("message").string(notice.message, bytes);
    json.raw("}");
  });
}
}  // namespace

// In JSON mode standard output holds the report alone.
void JsonReport::waiting(std::string_view path) {
  console_.error(platform::message_line(kWaiting, path));
}

void JsonReport::refused(std::string_view line, const std::optional<std::string>& reason) {
  targets_.back().error = line;
  targets_.back().reason = reason;
}

void JsonReport::diff(std::string_view notes, platform::Spool& diff) {
  std::string& all = targets_.back().diff;
  all = notes;
  diff.drain([&all](std::string_view piece) { all.append(piece); });
}

void JsonReport::written(const WriteNotice& written) {
  Target& target = targets_.back();
  target.changed = written.changed;
  if (!written.backup.empty()) target.backup = written.backup;
  if (!written.error) return;
  std::string lines;
  for (const std::string& line : written.lines)
    lines.append(lines.empty() ? "" : "\n").append(line);
  target.error = lines;
  target.reason = written.reason;
}

void JsonReport::write_target(std::string& out, const Target& target) const {
  Writer json(out);
  TextBytes bytes =
      text_bytes_of({target.path, target.backup.value_or(""), target.error.value_or(""),
                     target.reason.value_or(""), target.diff});
  for (const Changed& changed : target.changes) {
    if (bytes == TextBytes::utf8) bytes = text_bytes_of({changed.text});
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
  json.key("changes").list(target.changes, [&](const Changed& changed) {
    json.raw("{").key("line").raw(std::to_string(changed.line));
    json.key("command").string(std::string(1, changed.command), TextBytes::utf8);
    json.key("action").string(label_of(changed.change), TextBytes::utf8);
    json.key("text").string(changed.text, bytes);
    json.raw("}");
  });
  json.text_bytes(bytes);
  if (with_diff_) json.key("diff").string(target.diff, bytes);
  json.raw("}");
}

std::string JsonReport::document(int exit) const {
  std::string out;
  Writer json(out);
  TextBytes bytes = text_bytes_of({error_.value_or("")});
  for (const std::vector<Notice>* notices : {&problems_, &warnings_}) {
    for (const Notice& notice : *notices) {
      if (bytes == TextBytes::utf8) {
        bytes = text_bytes_of({notice.message, notice.target.value_or("")});
      }
    }
  }
  json.raw("{").key("program").raw("\"zeltrim\"");
  json.key("version").string(ZELTRIM_VERSION, TextBytes::utf8);
  json.key("exit").raw(std::to_string(exit));
  json.key("options").list(options_,
                           [&](std::string_view name) { json.string(name, TextBytes::utf8); });
  json.text_bytes(bytes);
  json.key("error").string_or_null(error_, bytes);
  json.key("targets").list(targets_, [&](const Target& target) { write_target(out, target); });
  write_notices(json, "problems", problems_, bytes);
  write_notices(json, "warnings", warnings_, bytes);
  json.raw("}\n");
  return out;
}

std::string_view out_of_memory_document() {
  return "{\"program\":\"zeltrim\",\"version\":\"" ZELTRIM_VERSION
         "\",\"exit\":1,\"options\":[],\"text_bytes\":\"utf-8\",\"error\":\"Error - Out of Memory "
         "- Program ending.\",\"targets\":[],\"problems\":[],\"warnings\":[]}\n";
}

}  // namespace zeltrim
