// The lines of the one target being edited, in file order, as a singly linked list with head and
// tail. The list owns every entry and every text; views it hands out stay valid until the text is
// replaced or the list is emptied. It knows nothing of files, commands or the console.
#pragma once

#include <cstddef>
#include <memory>
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
  LineEntry* next = nullptr;
  // 48 bits leave room for the kind and the flag in the same word: an entry takes 24 bytes, and
  // a target of a million lines has a million entries.
  std::size_t size : 48 = 0;
  EntryKind kind = EntryKind::text;
  bool owns_data = false;  // data was allocated for this entry alone
};

// A text entry holding a copy of `text`.
LineEntry* new_line_entry(std::string_view text);

// A blank entry.
LineEntry* new_blank_entry();

// Hands a block of bytes to the list, which keeps it until it is emptied. Entries may then share
// pieces of it without a copy each: the loader keeps a whole file this way (the block itself,
// its first `size` bytes in use), and a command that puts the same text on many lines keeps a
// copy of that text once.
std::string_view keep_block(std::unique_ptr<char[]> block, std::size_t size);
std::string_view keep_block(std::string_view text);

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
