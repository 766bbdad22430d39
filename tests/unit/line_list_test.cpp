#include "lines/line_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zeltrim {
namespace {

std::vector<std::string> texts() {
  std::vector<std::string> all;
  for (LineEntry* entry = line_list_head(); entry != nullptr; entry = entry->next) {
    all.emplace_back(entry->text());
  }
  return all;
}

class LineList : public testing::Test {
 protected:
  void SetUp() override { free_line_list(); }
  void TearDown() override { free_line_list(); }
};

TEST_F(LineList, TailFollowsEveryWayOfAdding) {
  LineEntry* a = new_line_entry("a");
  EXPECT_EQ(add_top(a), 0);
  EXPECT_EQ(line_list_head(), a);
  EXPECT_EQ(line_list_tail(), a);

  LineEntry* b = new_line_entry("b");
  insert_after(a, b);  // behind the tail: becomes the tail
  EXPECT_EQ(line_list_tail(), b);
  add_bottom(new_line_entry("c"));
  add_top(new_line_entry("top"));
  insert_after(a, new_line_entry("a2"));
  EXPECT_EQ(texts(), (std::vector<std::string>{"top", "a", "a2", "b", "c"}));
  EXPECT_EQ(line_list_tail()->text(), "c");
  EXPECT_EQ(line_list_tail()->next, nullptr);
}

TEST_F(LineList, MissingEntriesAreRefused) {
  EXPECT_EQ(add_bottom(nullptr), -1);
  EXPECT_EQ(add_top(nullptr), -1);
  EXPECT_EQ(insert_after(nullptr, new_line_entry("x")), -1);
  EXPECT_EQ(line_list_head(), nullptr);
}

TEST_F(LineList, FreeLeavesAnEmptyListEvenTwice) {
  for (int i = 0; i < 10000; ++i) add_bottom(new_line_entry(std::to_string(i)));
  free_line_list();
  free_line_list();
  EXPECT_EQ(line_list_head(), nullptr);
  EXPECT_EQ(line_list_tail(), nullptr);
  add_bottom(new_line_entry("again"));
  EXPECT_EQ(texts(), std::vector<std::string>{"again"});
}

TEST_F(LineList, EmptyTextIsATextEntryNotABlankOne) {
  add_bottom(new_line_entry(""));
  add_bottom(new_blank_entry());
  EXPECT_EQ(line_list_head()->kind, EntryKind::text);
  EXPECT_EQ(line_list_tail()->kind, EntryKind::blank);
}

TEST_F(LineList, NewTextMayBeAPieceOfTheOld) {
  LineEntry* entry = new_line_entry("PATH=C:\\DOS");
  add_bottom(entry);
  set_entry_text(*entry, entry->text().substr(5));
  EXPECT_EQ(entry->text(), "C:\\DOS");
  std::string_view kept = keep_block("shared text");
  set_entry_kept_text(*entry, kept);
  add_bottom(new_kept_entry(kept));
  EXPECT_EQ(texts(), (std::vector<std::string>{"shared text", "shared text"}));
  set_entry_text(*entry, "own again");
  EXPECT_EQ(texts(), (std::vector<std::string>{"own again", "shared text"}));
}

}  // namespace
}  // namespace zeltrim
