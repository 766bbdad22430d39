// The lines of the one target being edited, in file order, as a singly linked list with head and
// tail. The list owns every entry and every text; views it hands out stay valid until the text is
// replaced or the list is emptied. It knows nothing of files, commands or the console.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zeltrim {

enum class EntryKind : unsigned char {
  text,     // an ordinary line
  blank,    // an empty line as the file was read; never matches a search
  removed,  // taken out by a removal; kept in the list but never written
};

struct LineEntry {
  std::string_view text() const { return {data, size}; }
  bool is_text() const { return kind == EntryKind::text; }

  const char* data = "";
  std::size_t size = 0;
  LineEntry* next = nullptr;
  EntryKind kind = EntryKind::text;
  bool owns_data = false;  // data was allocated for this entry alone
};

// A text entry holding a copy of `text`.
LineEntry* new_line_entry(std::string_view text);

// A blank entry.
LineEntry* new_blank_entry();

// Hands a block of bytes to the list, which keeps it until it is emptied. Entries may then share
// pieces of it without a copy each: the loader keeps a whole file this way, and a command that
// puts the same text on many lines keeps that text once.
std::string_view keep_block(std::string&& block);

// A text entry whose text is `kept`, a piece of a block given to keep_block.
LineEntry* new_kept_entry(std::string_view kept);

// Gives the entry a copy of `text`, releasing its old text.
void set_entry_text(LineEntry& entry, std::string_view text);

// Gives the entry `kept`, a piece of a kept block, releasing its old text.
void set_entry_kept_text(LineEntry& entry, std::string_view kept);

// Linking; each returns 0, or -1 when an entry is missing.
int add_bottom(LineEntry* entry);
int add_top(LineEntry* entry);
int insert_after(LineEntry* existing, LineEntry* entry);

// Releases every entry and text and leaves the list empty.
void free_line_list();

LineEntry* line_list_head();
LineEntry* line_list_tail();

}  // namespace zeltrim
