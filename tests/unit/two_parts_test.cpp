#include <gtest/gtest.h>

#include "commands/command_kit.h"

namespace zeltrim {
namespace {

struct SplitCase {
  std::string_view argument, first, second;
};

TEST(TwoParts, SplitByTheFirstSeparator) {
  // clang-format off
  const SplitCase cases[] = {
      {"A\x02" "B", "A", "B"},
      {"\x02\x02" "A\x02" "B", "A", "B"},          // leading separators skipped
      {"A\x02" "B\x02" "C", "A", "B\x02" "C"},     // later separators belong to the second
      {"A\x02\n\nB\nC", "A", "B"},                 // LFs skipped, the next LF ends it
      {"A\x02" "B.\n", "A", "B."},
      {" A \x02 B ", " A ", " B "},                // spaces belong to the parts
      {"A\n\x02" "B", "A\n", "B"},                 // the first part may hold an LF
      {"A", "A", ""},                              // no separator
      {"A\x02", "A", ""},                          // nothing behind it
      {"A\x02\n\n", "A", ""},                      // only LF bytes behind it
      {"\x02\x02", "", ""},                        // only separators
      {"", "", ""},
      {"A\x02\x02", "A", "\x02"},
  };
  // clang-format on
  for (const SplitCase& row : cases) {
    EXPECT_EQ(first_part(row.argument), row.first) << testing::PrintToString(row.argument);
    EXPECT_EQ(second_part(row.argument), row.second) << testing::PrintToString(row.argument);
  }
}

TEST(TwoParts, OnlyOneFinalDotGoes) {
  EXPECT_EQ(without_final_dot("C:\\DOS.."), "C:\\DOS.");
  EXPECT_EQ(without_final_dot("."), "");
  EXPECT_EQ(without_final_dot("A.B"), "A.B");
}

}  // namespace
}  // namespace zeltrim
