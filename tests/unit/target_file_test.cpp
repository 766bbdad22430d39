#include "target/target_file.h"

#include <gtest/gtest.h>

#include "folder_test.h"

namespace zeltrim {
namespace {

using namespace std::string_literals;

TEST(EncodingFromMark, FirstBytesDecide) {
  struct Row {
    std::string bytes;
    EncodingKind kind;
  };
  // clang-format off
  const Row rows[] = {
      {"", EncodingKind::plain},
      {"\xEF\xBB\xBF" "A", EncodingKind::utf8},
      {"\xEF\xBB", EncodingKind::plain},
      {"\xFF\xFE\0\0"s, EncodingKind::utf16le},  // the 16-bit mark is looked at first
      {"\xFE\xFF\0A"s, EncodingKind::utf16be},
      {"\xFF", EncodingKind::utf16be},  // one byte: the missing second counts as -1
      {"\0\0\xFE\xFF"s, EncodingKind::utf32be},
      {"\0\0\xFF"s, EncodingKind::utf32be},  // three bytes wrap to the same 32-bit sum
      {"\xFF\xFF\xFF\xFF", EncodingKind::plain},
  };
  // clang-format on
  for (const Row& row : rows) {
    EXPECT_EQ(encoding_from_mark(row.bytes), row.kind) << testing::PrintToString(row.bytes);
  }
}

using TargetFile = FolderTest;

// Every written form loads back to lines that give the same bytes again, in the form's kind,
// and a file that cannot be looked at keeps the kind it is given.
TEST_F(TargetFile, WrittenFormsLoadBackToThemselves) {
  struct Row {
    std::string bytes;
    EncodingKind kind;
  };
  // clang-format off
  const Row rows[] = {
      {"A\r\n\r\nB\r\n\x1A", EncodingKind::plain},
      {"\xEF\xBB\xBF" "caf\xC3\xA9\r\n\r\n\x1A", EncodingKind::utf8},
      {"\xFF\xFE" "A\0\r\0\n\0\r\0\n\0"s, EncodingKind::utf16le},
      {"\xFE\xFF\0A\0\r\0\n"s, EncodingKind::utf16be},
      {"\0\0\xFE\xFF\0\0\0A\0\0\0\r\0\0\0\n\0\0\0\r\0\0\0\n"s, EncodingKind::utf32be},
  };
  // clang-format on
  for (const Row& row : rows) {
    Target target = load_target(write("T", row.bytes), Naming::existing, EncodingKind::plain);
    EXPECT_TRUE(target.loaded());
    EXPECT_EQ(target.kind, row.kind);
    EXPECT_EQ(written_form(target), row.bytes);
  }
  Target missing = load_target(path("none"), Naming::existing, EncodingKind::utf16be);
  EXPECT_EQ(missing.result, LoadResult::cannot_open);
  EXPECT_TRUE(missing.reason.missing());
  EXPECT_EQ(missing.kind, EncodingKind::utf16be);
}

}  // namespace
}  // namespace zeltrim
