#include "lines/line_list.h"

#include <cstring>
#include <memory>
#include <vector>

namespace zeltrim {

namespace {

// Entries come from slabs rather than one allocation each: a million-line target costs a few
// hundred allocations, and entries never move once made. Slabs start small and double up to
// kSlabEntries, so a short file does not pay for a large slab.
constexpr std::size_t kFirstSlabEntries = 16;
constexpr std::size_t kSlabEntries = 4096;

std::size_t slab_size(std::size_t slab) {
  std::size_t size = kFirstSlabEntries;
  for (std::size_t i = 0; i < slab && size < kSlabEntries; ++i) size *= 2;
  return size;
}

struct LineList {
  LineEntry* head = nullptr;
  LineEntry* tail = nullptr;
  std::vector<std::unique_ptr<LineEntry[]>> slabs;
  std::size_t used_in_last_slab = 0;
  std::vector<std::unique_ptr<char[]>> kept_blocks;
};

LineList line_list;

LineEntry* allocate_entry() {
  if (line_list.slabs.empty() ||
      line_list.used_in_last_slab == slab_size(line_list.slabs.size() - 1)) {
    line_list.slabs.push_back(std::make_unique<LineEntry[]>(slab_size(line_list.slabs.size())));
    line_list.used_in_last_slab = 0;
  }
  return &line_list.slabs.back()[line_list.used_in_last_slab++];
}

void release_text(LineEntry& entry) {
  if (entry.owns_data) delete[] entry.data;
  entry.data = "";
  entry.size = 0;
  entry.owns_data = false;
}

void copy_text(LineEntry& entry, std::string_view text) {
  char* copy = new char[text.size() + 1];
  if (!text.empty()) std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  entry.data = copy;
  entry.size = text.size();
  entry.owns_data = true;
}

}  // namespace

LineEntry* new_line_entry(std::string_view text) {
  LineEntry* entry = allocate_entry();
  copy_text(*entry, text);
  return entry;
}

LineEntry* new_blank_entry() {
  LineEntry* entry = allocate_entry();
  entry->kind = EntryKind::blank;
  return entry;
}

std::string_view keep_block(std::string_view text) {
  auto copy = std::make_unique_for_overwrite<char[]>(text.size() + 1);
  if (!text.empty()) std::memcpy(copy.get(), text.data(), text.size());
  return keep_block(std::move(copy), text.size());
}

std::string_view keep_block(std::unique_ptr<char[]> block, std::size_t size) {
  line_list.kept_blocks.push_back(std::move(block));
  return {line_list.kept_blocks.back().get(), size};
}

LineEntry* new_kept_entry(std::string_view kept) {
  LineEntry* entry = allocate_entry();
  entry->data = kept.data();
  entry->size = kept.size();
  return entry;
}

void set_entry_text(LineEntry& entry, std::string_view text) {
  // Copy first: the new text may be a piece of the old one.
  LineEntry replacement;
  copy_text(replacement, text);
  release_text(entry);
  entry.data = replacement.data;
  entry.size = replacement.size;
  entry.owns_data = true;
}

void set_entry_kept_text(LineEntry& entry, std::string_view kept) {
  release_text(entry);
  entry.data = kept.data();
  entry.size = kept.size();
}

int add_bottom(LineEntry* entry) {
  if (entry == nullptr) return -1;
  entry->next = nullptr;
  if (line_list.tail == nullptr) {
    line_list.head = entry;
  } else {
    line_list.tail->next = entry;
  }
  line_list.tail = entry;
  return 0;
}

int add_top(LineEntry* entry) {
  if (entry == nullptr) return -1;
  entry->next = line_list.head;
  line_list.head = entry;
  if (line_list.tail == nullptr) line_list.tail = entry;
  return 0;
}

int insert_after(LineEntry* existing, LineEntry* entry) {
  if (existing == nullptr || entry == nullptr) return -1;
  entry->next = existing->next;
  existing->next = entry;
  if (line_list.tail == existing) line_list.tail = entry;
  return 0;
}

void free_line_list() {
  for (std::size_t slab = 0; slab < line_list.slabs.size(); ++slab) {
    std::size_t used =
        slab + 1 == line_list.slabs.size() ? line_list.used_in_last_slab : slab_size(slab);
    for (std::size_t i = 0; i < used; ++i) release_text(line_list.slabs[slab][i]);
  }
  line_list = LineList();
}

LineEntry* line_list_head() { return line_list.head; }

LineEntry* line_list_tail() { return line_list.tail; }

}  // namespace zeltrim
