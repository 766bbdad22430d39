// Jobs of hundreds of commands on one target, whose texts collide: a few short texts, in both
// letter cases, make the lines, the lines the commands look for, the keys of .C and .E and the
// variables of .V, so that a line meets many commands, variables overlap, and what one command
// changes is what later ones find. The input chooses; once its bytes are used up, a generator
// seeded with them goes on. Each job is checked as a whole run (whole_run.h). The job is made so
// that it cannot grow the target much: a few .A only, and only a few .V whose value is longer
// than its variable.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "choices.h"
#include "whole_run.h"

namespace {

using zeltrim::fuzz::Choices;

constexpr std::string_view kPieces[] = {"a",   "A",   "b",   "B",  "ab",    "AB",    "aB",     "ba",
                                        "aba", "%v%", "%V%", "v%", "x=",    "X=",    "=",      ";a",
                                        ";A",  "a;",  " ",   ".",  "PATH=", "path=", "c:\\dos"};
constexpr std::string_view kKeys[] = {"x=", "X=", "PATH=", "path=", "a=", "ab=", "=", "a"};
constexpr std::string_view kLetters = "IITRRRRAASSSCCEEUUVVVV";
constexpr std::string_view kBreaks[] = {"\r\n", "\r\n", "\r\n", "\n"};
constexpr char kSeparator = '\x02';

constexpr std::size_t kFewestCommands = 100;
constexpr std::size_t kMoreCommands = 400;
// .A doubles the lines that a later .A looks for, a .V with a longer value can double a line's
// length: only this many of each.
constexpr std::size_t kMostGrowing = 5;
constexpr std::size_t kFewestLines = 8;
constexpr std::size_t kMoreLines = 120;

std::string text(Choices& choices) {
  std::string made;
  for (std::size_t pieces = 1 + choices.next(3); pieces-- > 0;) made += choices.pick(kPieces);
  return made;
}

struct Growth {
  std::size_t appends = 0;
  std::size_t longer_values = 0;
};

std::string command(Choices& choices, Growth& growth) {
  char letter = kLetters[choices.next(kLetters.size())];
  if (letter == 'A' && ++growth.appends > kMostGrowing) letter = 'R';
  std::string line = std::string(".") + letter + " ";
  if (letter == 'I' || letter == 'T' || letter == 'R') return line + text(choices);
  std::string first =
      letter == 'C' || letter == 'E' ? std::string(choices.pick(kKeys)) : text(choices);
  std::string second = text(choices);
  if (letter == 'V' && second.size() > first.size() && ++growth.longer_values > kMostGrowing) {
    second.resize(first.size());
  }
  return line + first + kSeparator + second;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Choices choices(std::string_view(reinterpret_cast<const char*>(data), size));
  unsigned char options = static_cast<unsigned char>(choices.next(256));
  std::string job = ".F T\r\n";
  Growth growth;
  for (std::size_t count = kFewestCommands + choices.next(kMoreCommands); count-- > 0;) {
    job += command(choices, growth) + "\r\n";
  }
  std::string target = choices.next(4) == 0 ? "\xef\xbb\xbf" : "";
  for (std::size_t count = kFewestLines + choices.next(kMoreLines); count-- > 0;) {
    target += text(choices) + std::string(choices.pick(kBreaks));
  }
  // The options byte comes last, behind an empty second target that no line names.
  std::string separator(zeltrim::fuzz::kTargetSeparator);
  zeltrim::fuzz::check_whole_run(job + separator + target + separator + static_cast<char>(options),
                                 zeltrim::fuzz::Budget::none);
  return 0;
}
