#include "commands/text_search.h"

#include <gtest/gtest.h>

#include <string>

namespace zeltrim {
namespace {

struct FindCase {
  std::string_view text, pattern;
  long long start, expected;
};

TEST(FindText, PositionsAreOneBasedAndCountedFromTheStart) {
  const FindCase cases[] = {
      {"KLMKLM", "LM", 1, 2},      {"KLMKLM", "LM", 3, 5},  {"KLMKLM", "LM", 6, 0},
      {"KLMKLM", "LM", 7, 0},      {"KLMKLM", "LM", 0, 0},  {"KLMKLM", "lm", 1, 0},
      {"KLMKLM", "KLMKLMK", 1, 0}, {"KLMKLM", "", 4, 4},    {"", "", 1, 0},
      {"", "A", 1, 0},             {"KLMKLM", "KLM", -5, 0}, {"aaa", "aa", 2, 2},
  };
  for (const FindCase& row : cases) {
    EXPECT_EQ(find_text(row.text, row.pattern, row.start), row.expected)
        << row.text << " / " << row.pattern << " from " << row.start;
  }
}

struct MidCase {
  long long start, count;
  char fill;
  std::string expected;
};

TEST(MidText, CutsAndFills) {
  const MidCase cases[] = {
      {2, 3, 'x', "LMN"},      {5, 4, 'x', "OPxx"},  {7, 2, 'x', "xx"},    {8, 3, 'x', "xxx"},
      {3, -1, '\0', "MNOP"},   {3, -1, 'x', "MNOP"},  {7, -1, 'x', ""},     {0, 3, 'x', ""},
      {2, 0, 'x', ""},         {2, -2, 'x', ""},      {1, 5000, '\0', "KLMNOP"},
      {1, 10, 'x', "KLMNOPxxxx"},
  };
  for (const MidCase& row : cases) {
    EXPECT_EQ(mid_text("KLMNOP", row.start, row.count, row.fill), row.expected)
        << "from " << row.start << " count " << row.count;
  }
}

TEST(MidText, ResultsOfAnyLength) {
  std::string long_text(1500, 'a');
  EXPECT_EQ(mid_text(long_text, 1, -1, '\0'), long_text);
  EXPECT_EQ(mid_text(long_text, 2, 1400, '\0').size(), 1400u);
}

TEST(CaselessEqual, OnlyAsciiLettersFold) {
  EXPECT_TRUE(caseless_equal("DosKey", "DOSKEY"));
  EXPECT_TRUE(caseless_equal("path=", "PATH="));
  EXPECT_FALSE(caseless_equal("PATH", "PATH="));
  EXPECT_FALSE(caseless_equal("\xC9", "\xE9"));  // no locale: bytes above 127 are compared as is
  EXPECT_FALSE(caseless_equal("[", "{"));        // 0x5B and 0x7B differ by the case bit only
  EXPECT_FALSE(caseless_equal("@", "`"));
}

struct RestartCase {
  std::string_view line, searched, value;
  Replaced outcome;
  std::string_view result;
};

TEST(ReplaceRestarting, SearchStartsAgainAtTheFirstByte) {
  const RestartCase cases[] = {
      {"SET IP=%TCPIP%", "%TCPIP%", "10.1.2.3", Replaced::changed, "SET IP=10.1.2.3"},
      {"ECHO %X% %X%", "%X%", "", Replaced::changed, "ECHO  "},
      {"AABB", "AB", "A", Replaced::changed, "AA"},
      {"PATH=AABB", "AB", "", Replaced::changed, "PATH="},
      {"aaaa", "aa", "", Replaced::changed, ""},
      {"abab", "ab", "ba", Replaced::changed, "bbaa"},
      {"xyz", "q", "", Replaced::none, ""},
      {"aab", "ab", "bbaa", Replaced::endless, ""},
      {"x", "x", "x", Replaced::endless, ""},
  };
  for (const RestartCase& row : cases) {
    std::string result;
    Replaced outcome = replace_restarting(row.line, row.searched, row.value, 100, result);
    EXPECT_EQ(outcome, row.outcome) << row.line << " / " << row.searched;
    if (outcome == Replaced::changed) {
      EXPECT_EQ(result, row.result) << row.line;
    }
  }
}

TEST(ReplaceRestarting, ChainsReachingBackToTheStart) {
  // Each replacement forms a new occurrence one byte further left: n replacements in one line.
  std::string line = std::string(50000, 'A') + std::string(50000, 'B');
  std::string result;
  EXPECT_EQ(replace_restarting(line, "AB", "A", line.size(), result), Replaced::changed);
  EXPECT_EQ(result, std::string(50000, 'A'));
}

}  // namespace
}  // namespace zeltrim
