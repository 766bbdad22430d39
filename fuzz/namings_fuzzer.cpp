// Jobs that name a few files again and again: up to four namings of each, by .F and .G in any
// order, of files that exist and files the job makes, beside NAME.bak files the user kept, with
// a few commands after each naming. Their lines are the ones the program is for: PATH lines,
// quoted values of registry exports and environment files, SET lines of start-up files, INI
// sections and characters above 0x7F; the instruction file is bytes, UTF-8 with its mark or
// UTF-16 with its mark, and each target plain, UTF-8 or UTF-16. The input chooses; once its bytes
// are used up, a generator seeded with them goes on. Each job is checked as a whole run
// (whole_run.h).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "choices.h"
#include "folder_rules.h"
#include "textfile/encoding.h"
#include "textfile/target_file.h"
#include "whole_run.h"

namespace {

using zeltrim::EncodingKind;
using zeltrim::fuzz::Choices;

// Names that differ only in letter case are two files here; .BAT and .CMD keep quotes as
// entries of a value.
constexpr std::string_view kNames[] = {"T.INI", "U.BAT", "t.ini", "V.CMD", "W"};
// Lines and texts, in UTF-8: what each is in a file or a job depends on its form.
constexpr std::string_view kLines[] = {
    "PATH=C:\\WINDOWS",
    "\"Path\"=\"C:\\\\Windows\"",
    "KEY=\"a;b\"",
    "PATH=\"/usr/bin:/bin\"",
    "Q=\"\"",
    "SET PATH=\"C:\\Program Files\\X\"",
    "export PATH=\"$HOME/bin:$PATH\"",
    "City=Z\xC3\xBCrich",
    "Name=Jos\xC3\xA9",
    "[Network]",
    "Server=old",
    "@ECHO OFF",
    "SET SERVER=%SERVER%",
    "path=c:\\dos;c:\\util",
    "PATH=",
    "==PATH=A=B",
    "a",
    "A",
    "",
};
constexpr std::string_view kKeys[] = {
    "PATH=", "\"Path\"=", "KEY=", "Q=", "SET PATH=", "export PATH=", "path=", "City=", "Name="};
constexpr std::string_view kAdditions[] = {
    ";C:\\Tools", ":/opt/bin",      ";C:\\UTIL;", "C:\\TOOLS", "C:\\UTIL;",    " -q", ",x", ";a;b",
    ";\"x\"",     ";Z\xC3\xBCrich", ":/bin",      "\xC3\xA9",  ";C:\\\\Tools", "",    ";",  "x.",
};
constexpr std::string_view kVariables[] = {"%SERVER%", "%PATH%", "a", "Z\xC3\xBC"};
constexpr std::string_view kValues[] = {"FILESRV01", "C:\\X", "b", "%SERVER%x", "\xC3\xA9"};
// The usual suffix of backups, and those --suffix gives.
constexpr std::string_view kSuffixes[] = {".bak", ".bak", ".bak", "~", ".BAK"};
constexpr std::string_view kLetters = "IIITRASCCCEEEUV";
constexpr char kSeparator = '\x02';

constexpr std::size_t kMostNamings = 4;  // of one file
constexpr std::size_t kMostNamingsInAll = 8;
constexpr std::size_t kMostCommands = 5;  // after one naming
constexpr std::size_t kMostLines = 8;
constexpr std::size_t kMostGrowing = 4;  // .A and .V in one job

// The characters of UTF-8 text, each as a number.
std::vector<char32_t> characters(std::string_view utf8) {
  std::vector<char32_t> out;
  for (std::size_t at = 0; at < utf8.size();) {
    auto byte = static_cast<unsigned char>(utf8[at]);
    std::size_t length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
    char32_t code = length == 1 ? byte : byte & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
      code = (code << 6) | (static_cast<unsigned char>(utf8[at + i]) & 0x3F);
    }
    out.push_back(code);
    at += length;
  }
  return out;
}

// How a text is stored: as UTF-8, as one byte per character, or in UTF-16 units.
enum class Form : unsigned char { utf8, latin1, utf16le, utf16be };

std::string stored(std::string_view utf8, Form form) {
  if (form == Form::utf8) return std::string(utf8);
  std::string out;
  for (char32_t code : characters(utf8)) {
    auto low = static_cast<char>(code & 0xFF);
    auto high = static_cast<char>(code >> 8);
    if (form == Form::latin1) out.push_back(low);
    if (form == Form::utf16le) out += std::string{low, high};
    if (form == Form::utf16be) out += std::string{high, low};
  }
  return out;
}

std::string target(Choices& choices) {
  Form form = Form::utf8;
  std::string bytes;
  switch (choices.next(6)) {
    case 0:
      form = Form::latin1;
      break;
    case 1:
      bytes = zeltrim::mark_of(EncodingKind::utf8);
      break;
    case 2:
      bytes = zeltrim::mark_of(EncodingKind::utf16le);
      form = Form::utf16le;
      break;
    case 3:
      bytes = zeltrim::mark_of(EncodingKind::utf16be);
      form = Form::utf16be;
      break;
    default:
      break;  // plain bytes of UTF-8 text
  }
  std::string_view line_break = choices.one_in(4) ? "\n" : "\r\n";
  std::string text;
  for (std::size_t count = choices.next(kMostLines + 1); count-- > 0;) {
    text += std::string(choices.pick(kLines)) + std::string(line_break);
  }
  if (form != Form::utf16le && form != Form::utf16be && choices.one_in(2)) text += "\x1A";
  return bytes + stored(text, form);
}

std::string command(Choices& choices, std::size_t& growing) {
  char letter = kLetters[choices.next(kLetters.size())];
  // .A can double the lines, .V lengthen every line: a few of them only.
  if ((letter == 'A' || letter == 'V') && ++growing > kMostGrowing) letter = 'R';
  std::string line = std::string(".") + letter + " ";
  switch (letter) {
    case 'I':
    case 'T':
    case 'R':
      return line + std::string(choices.pick(kLines));
    case 'A':
    case 'S':
      return line + std::string(choices.pick(kLines)) + kSeparator +
             std::string(choices.pick(kLines));
    case 'C':
    case 'E':
      return line + std::string(choices.pick(kKeys)) + kSeparator +
             std::string(choices.pick(kAdditions)) + (choices.one_in(5) ? "." : "");
    case 'U':
      return line + std::string(choices.pick(kKeys)) + kSeparator +
             std::string(choices.pick(kAdditions));
    default:
      return line + std::string(choices.pick(kVariables)) + kSeparator +
             std::string(choices.pick(kValues));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Choices choices(std::string_view(reinterpret_cast<const char*>(data), size));
  zeltrim::fuzz::Job job;
  job.settings = zeltrim::fuzz::settings_from(static_cast<unsigned char>(choices.next(256)));
  job.settings.target.backup_suffix = choices.pick(kSuffixes);
  job.settings.quiet = choices.one_in(4);
  std::vector<std::string_view> names;
  for (std::size_t count = 1 + choices.next(3); names.size() < count;) {
    std::string_view name = choices.pick(kNames);
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  for (std::string_view name : names) {
    std::string path(name);
    if (!choices.one_in(3)) job.files[path] = target(choices);
    if (choices.one_in(2)) {
      std::string backup = zeltrim::fuzz::backup_name(path, job.settings.target);
      job.files[choices.one_in(4) ? path + ".bak" : backup] =
          "the user's own copy of " + path + "\r\n";
    }
  }
  std::vector<std::size_t> namings(names.size(), 0);
  std::size_t growing = 0;
  std::string text;
  std::string_view line_break = choices.one_in(4) ? "\n" : "\r\n";
  for (std::size_t count = 1 + choices.next(kMostNamingsInAll); count-- > 0;) {
    std::size_t which = choices.next(names.size());
    if (namings[which] == kMostNamings) continue;
    ++namings[which];
    text +=
        (choices.one_in(3) ? ".G " : ".F ") + std::string(names[which]) + std::string(line_break);
    for (std::size_t commands = choices.next(kMostCommands + 1); commands-- > 0;) {
      text += command(choices, growing) + std::string(line_break);
    }
  }
  switch (choices.next(5)) {
    case 0:
      job.instructions = stored(text, Form::latin1);
      break;
    case 1:
      job.instructions = std::string(zeltrim::mark_of(EncodingKind::utf8)) + text;
      break;
    case 2:
      job.instructions =
          std::string(zeltrim::mark_of(EncodingKind::utf16le)) + stored(text, Form::utf16le);
      break;
    case 3:
      job.instructions =
          std::string(zeltrim::mark_of(EncodingKind::utf16be)) + stored(text, Form::utf16be);
      break;
    default:
      job.instructions = text;
      break;
  }
  zeltrim::fuzz::check_job(job);
  return 0;
}
