#include "textfile/target_file.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace zeltrim
