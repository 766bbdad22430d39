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
  // clang-format off
  const FindCase cases[] = {
      {"KLMKLM", "LM", 1, 2},      {"KLMKLM", "LM", 3, 5},  {"KLMKLM", "LM", 6, 0},
      {"KLMKLM", "LM", 7, 0},      {"KLMKLM", "LM", 0, 0},  {"KLMKLM", "lm", 1, 0},
      {"KLMKLM", "KLMKLMK", 1, 0}, {"KLMKLM", "", 4, 4},    {"", "", 1, 0},
      {"", "A", 1, 0},             {"KLMKLM", "KLM", -5, 0}, {"aaa", "aa", 2, 2},
  };
  // clang-format on
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
  // clang-format off
  const MidCase cases[] = {
      {2, 3, 'x', "LMN"},      {5, 4, 'x', "OPxx"},  {7, 2, 'x', "xx"},    {8, 3, 'x', "xxx"},
      {3, -1, '\0', "MNOP"},   {3, -1, 'x', "MNOP"},  {7, -1, 'x', ""},     {0, 3, 'x', ""},
      {2, 0, 'x', ""},         {2, -2, 'x', ""},      {1, 5000, '\0', "KLMNOP"},
      {1, 10, 'x', "KLMNOPxxxx"},
  };
  // clang-format on
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

}  // namespace
}  // namespace zeltrim
