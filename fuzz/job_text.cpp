#include "job_text.h"

#include <optional>

#include "commands/command_kit.h"
#include "commands/text_search.h"
#include "platform/files.h"
#include "textfile/encoding.h"
#include "textfile/target_file.h"

namespace zeltrim::fuzz {

namespace {
char upper_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

std::vector<JobCommand> commands_of(std::string_view text) {
  std::vector<JobCommand> commands;
  for (long long number = 1; !text.empty(); ++number) {
    // A line ends with CR LF or a lone LF; a CR at the very end of the file stays in it.
    std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
    line.remove_suffix(lf != std::string_view::npos && line.ends_with('\r') ? 1 : 0);
    if (!line.starts_with('.')) continue;
    // A zero byte makes a line no command at all.
    bool usable = line.size() > 1 && line.find('\0') == std::string_view::npos;
    commands.push_back({number, usable ? upper_ascii(line[1]) : '\0',
                        line.size() > 3 ? line.substr(3) : "", line});
  }
  return commands;
}

std::vector<Naming> namings_of(const std::vector<JobCommand>& commands) {
  std::vector<Naming> namings;
  for (const JobCommand& command : commands) {
    if (command.letter == 'F' || command.letter == 'G') {
      namings.push_back({command, {}});
    } else if (!namings.empty()) {
      namings.back().commands.push_back(command);
    }
  }
  return namings;
}

std::string job_text(std::string_view bytes, bool unicode) {
  platform::Status unused;
  std::optional<std::string> text = read_marked_text(bytes, unicode, unused);
  return text ? *text : std::string(bytes);
}

bool is_utf16_job(std::string_view bytes) {
  EncodingKind kind = encoding_from_mark(bytes.substr(0, kMarkProbe));
  return kind == EncodingKind::utf16le || kind == EncodingKind::utf16be;
}

bool has_problems(const std::vector<JobCommand>& commands) {
  bool named = false;
  for (const JobCommand& command : commands) {
    if (std::string_view("FGITRASCEUV").find(command.letter) == std::string_view::npos ||
        command.letter == '\0') {
      return true;
    }
    if (command.letter == 'F' || command.letter == 'G') {
      named = true;
    } else if (!named || (takes_two_parts(command.letter) && !has_both_parts(command.argument))) {
      return true;
    }
  }
  return !named;
}

bool takes_two_parts(char letter) {
  return std::string_view("ASCEUV").find(letter) != std::string_view::npos;
}

bool is_complete(const JobCommand& command) {
  return !takes_two_parts(command.letter) || has_both_parts(command.argument);
}

std::optional<std::string_view> added_line(const JobCommand& command) {
  if (std::string_view("ITAS").find(command.letter) == std::string_view::npos ||
      command.letter == '\0' || !is_complete(command)) {
    return std::nullopt;
  }
  return brought_text(command);
}

std::string_view brought_text(const JobCommand& command) {
  switch (command.letter) {
    case 'I':
    case 'T':
      return command.argument;
    case 'A':
    case 'S':
      return second_part(command.argument);
    case 'C':
    case 'E':
    case 'V':
      return without_final_dot(second_part(command.argument));
    default:
      return {};
  }
}

bool has_key(std::string_view line, std::string_view key) {
  std::string_view name = assignment_key(line);
  return !name.empty() && name.size() + 1 == key.size() && key.back() == '=' &&
         caseless_equal(name, key.substr(0, name.size()));
}

std::size_t value_start(std::string_view line) {
  std::size_t equals = line.find('=', line.find_first_not_of('='));
  return equals == std::string_view::npos ? line.size() : equals + 1;
}

std::string_view without_spaces(std::string_view text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::optional<char> list_separator(std::string_view addition) {
  constexpr std::string_view kSeparators = ";,:";
  std::string_view items = without_spaces(addition);
  if (!items.empty()) {
    for (char end : {items.front(), items.back()}) {
      if (kSeparators.find(end) != std::string_view::npos) return end;
    }
  }
  if (addition.starts_with(' ') || addition.ends_with(' ')) return ' ';
  return std::nullopt;
}

std::string folded(std::string_view text) {
  std::string out;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    } else if (out.empty() || out.back() != '\x80') {
      out.push_back('\x80');
    }
  }
  return out;
}

}  // namespace zeltrim::fuzz
