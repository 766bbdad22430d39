#include "target/target_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "folder_test.h"
#include "lines/line_list.h"
#include "platform/faults.h"

namespace zeltrim {
namespace {

using namespace std::string_literals;

struct MarkCase {
  std::string bytes;
  EncodingKind kind;
};

TEST(EncodingFromMark, FirstBytesDecide) {
  // clang-format off
  const MarkCase cases[] = {
      {"", EncodingKind::plain},
      {"AB\r\n", EncodingKind::plain},
      {"\xEF\xBB\xBF" "A", EncodingKind::utf8},
      {"\xEF\xBB\xBF", EncodingKind::utf8},
      {"\xEF\xBB", EncodingKind::plain},
      {"\xFF\xFE" "A\0"s, EncodingKind::utf16le},
      {"\xFF\xFE\0\0"s, EncodingKind::utf16le},  // the 16-bit mark is looked at first
      {"\xFE\xFF\0A"s, EncodingKind::utf16be},
      {"\xFF", EncodingKind::utf16be},  // one byte: the missing second counts as -1
      {"\0\0\xFE\xFF"s, EncodingKind::utf32be},
      {"\0\0\xFF"s, EncodingKind::utf32be},  // three bytes wrap to the same 32-bit sum
      {"\xFF\xFF\xFF\xFF", EncodingKind::plain},
      {"\0\0\0A"s, EncodingKind::plain},
  };
  // clang-format on
  for (const MarkCase& row : cases) {
    EXPECT_EQ(encoding_from_mark(row.bytes), row.kind) << testing::PrintToString(row.bytes);
  }
}

class TargetFile : public FolderTest {
 protected:
  std::string write(const std::string& name, const std::string& bytes) {
    std::string path = folder_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
};

TEST_F(TargetFile, UnopenableFileKeepsThePreviousKind) {
  EXPECT_EQ(detect_encoding(folder_ + "/none", EncodingKind::utf16be), EncodingKind::utf16be);
  EXPECT_EQ(detect_encoding(write("w", "\xFF\xFE"), EncodingKind::plain), EncodingKind::utf16le);
}

TEST_F(TargetFile, WrittenFormOfEachKind) {
  struct Row {
    EncodingKind kind;
    std::string bytes;
  };
  // clang-format off
  const Row rows[] = {
      {EncodingKind::plain, "A\r\n\r\n\x1A"},
      {EncodingKind::utf8, "\xEF\xBB\xBF" "A\r\n\r\n\x1A"},
      {EncodingKind::utf16le, "\xFF\xFE" "A\0\r\0\n\0\r\0\n\0\x1A"s},
      {EncodingKind::utf16be, "\xFE\xFF\0A\0\r\0\n\0\r\0\n\x1A"s},
      {EncodingKind::utf32be, "\0\0\xFE\xFF\0\0\0A\0\0\0\r\0\0\0\n\0\0\0\r\0\0\0\n\x1A"s},
  };
  // clang-format on
  for (const Row& row : rows) {
    free_line_list();
    set_encoding_kind(row.kind);
    add_bottom(new_line_entry("A"));
    add_bottom(new_blank_entry());
    LineEntry* removed = new_line_entry("gone");
    removed->kind = EntryKind::removed;
    add_bottom(removed);
    EXPECT_EQ(written_form(), row.bytes) << static_cast<int>(row.kind);
  }
}

TEST_F(TargetFile, LoadThenWriteIsByteExactForTheWrittenForm) {
  // clang-format off
  const std::string forms[] = {
      "A\r\n\r\nB\r\n\x1A",
      "\xEF\xBB\xBF" "caf\xC3\xA9\r\n\x1A",
      "\xFF\xFE" "A\0\r\0\n\0\r\0\n\0\x1A"s,
      "\xFE\xFF\0A\0\r\0\n\x1A"s,
      "\0\0\xFE\xFF\0\0\0A\0\0\0\r\0\0\0\n\x1A"s,
  };
  // clang-format on
  for (const std::string& form : forms) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(get_target_file(write("t", form), 0), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(written_form(), form);
  }
}

TEST_F(TargetFile, ReadFailureLoadsNothing) {
  std::string path = write("t", "A\r\nB\r\n");
  platform::fail_step(platform::Step::read, 1);  // the first read is the mark probe
  testing::internal::CaptureStdout();
  EXPECT_EQ(get_target_file(path, 0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error reading file " + path + " in ZELTRIM.EXE, file left unchanged\n");
  EXPECT_EQ(line_list_head(), nullptr);
}

TEST_F(TargetFile, CloseFailureKeepsTheLinesRead) {
  std::string path = write("t", "A\r\n");
  platform::fail_step(platform::Step::close);
  testing::internal::CaptureStdout();
  EXPECT_EQ(get_target_file(path, 0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error closing file " + path + " in ZELTRIM.EXE\n");
  ASSERT_NE(line_list_head(), nullptr);
  EXPECT_EQ(line_list_head()->text(), "A");
}

}  // namespace
}  // namespace zeltrim
