// The fast paths against plain definitions. .V and .U against the restart rule written out
// plainly: replace the first occurrence, then search again from the first byte, until none is
// left. Inputs are random over alphabets of two or three letters, so occurrences overlap, chain
// and form anew from a value and its neighbours.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "commands/text_search.h"
#include "folder_test.h"
#include "run/job.h"

namespace zeltrim {
namespace {

struct Plain {
  Replaced outcome = Replaced::none;
  std::string line;
  std::size_t replacements = 0;
};

// The rule as the commands are defined by it, one whole new line per replacement.
Plain plain_restarting(std::string line, const std::string& searched, const std::string& value,
                       std::size_t limit) {
  Plain plain;
  for (std::size_t at = line.find(searched); at != std::string::npos; at = line.find(searched)) {
    if (++plain.replacements > limit) return {Replaced::endless, "", plain.replacements};
    line = line.substr(0, at) + value + line.substr(at + searched.size());
  }
  return {plain.replacements == 0 ? Replaced::none : Replaced::changed, line, plain.replacements};
}

class Random {
 public:
  explicit Random(unsigned seed) : engine_(seed) {}
  std::size_t below(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine_);
  }
  std::string text(std::size_t min_length, std::size_t max_length, std::string_view letters) {
    std::string out(min_length + below(max_length - min_length + 1), ' ');
    for (char& c : out) c = letters[below(letters.size())];
    return out;
  }
  std::string_view letters() { return below(3) == 0 ? "abc" : "ab"; }

 private:
  std::mt19937 engine_;
};

TEST(RestartRule, ReplaceRestartingMatchesThePlainRule) {
  Random random(20240601);
  std::string result;
  int chained = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    std::string_view letters = random.letters();
    std::string line = random.text(0, 14, letters), searched = random.text(1, 4, letters),
                value = random.text(0, 5, letters);
    std::size_t limit = varsub_limit(line.size());
    Plain plain = plain_restarting(line, searched, value, limit);
    SCOPED_TRACE("line '" + line + "' searched '" + searched + "' value '" + value + "'");
    Replacement prepared = prepare_replacement(searched, value);
    ASSERT_EQ(replace_restarting(line, prepared, limit, result), plain.outcome);
    if (plain.outcome != Replaced::changed) continue;
    ASSERT_EQ(result, plain.line);
    // The bound is exact: as many replacements as the limit allows end, one more do not.
    ASSERT_EQ(replace_restarting(line, prepared, plain.replacements, result), Replaced::changed);
    ASSERT_EQ(result, plain.line);
    ASSERT_EQ(replace_restarting(line, prepared, plain.replacements - 1, result),
              Replaced::endless);
    if (plain.replacements > plain_restarting(line, searched, "", limit).replacements) ++chained;
  }
  EXPECT_GT(chained, 500);  // the inputs did exercise the restart rule
}

// .V and .U as whole commands, run on random targets: the lines and the report are what the
// plain rule gives line by line.
class Commands : public FolderTest {};

TEST_F(Commands, VarsubAndUnconcatFollowThePlainRule) {
  Random random(7);
  RunSettings settings;
  for (int trial = 0; trial < 300; ++trial) {
    bool varsub = trial % 2 == 0;
    std::string_view letters = random.letters();
    std::string first = random.text(1, 3, letters), second = random.text(0, 4, letters);
    std::string target, expected;
    std::string report = "Making changes to " + path("T") + "\n\n";
    for (std::size_t lines = random.below(8); lines > 0; --lines) {
      std::string text = random.below(6) == 0 ? "" : random.text(0, 14, letters);
      target += text + "\r\n";
      if (text.empty()) {  // a blank line: never changed
      } else if (varsub) {
        Plain plain = plain_restarting(text, first, second, varsub_limit(text.size()));
        if (plain.outcome == Replaced::changed) text = plain.line;
        if (plain.outcome != Replaced::none) {
          report += (plain.outcome == Replaced::changed ? "  VARSUB line now reads      : "
                                                        : "  VARSUB never ends, kept    : ") +
                    text + "\n";
        }
      } else if (text.starts_with(first)) {
        // An empty text to delete would be found for ever without changing anything.
        if (!second.empty()) text = plain_restarting(text, second, "", text.size()).line;
        report += "  UNCONCAT line now reads      : " + text + "\n";
      }
      expected += text + "\r\n";
    }
    // A final "." goes: a second part of a lone "." is present and becomes empty.
    std::string argument = std::string(random.below(2), '\x02') + first + '\x02' + second + ".";
    write("T", target);
    write("i.zt", ".F " + path("T") + "\r\n" + (varsub ? ".V " : ".U ") + argument + "\r\n");
    SCOPED_TRACE(testing::PrintToString(target) + " " + testing::PrintToString(argument));
    testing::internal::CaptureStdout();
    EXPECT_EQ(run_instruction_file(path("i.zt"), settings, platform::system_disk()),
              RunOutcome::completed);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), report);
    EXPECT_EQ(read("T"), target.empty() ? "" : expected + "\x1A");
  }
}

}  // namespace
}  // namespace zeltrim
