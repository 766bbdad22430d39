#include "commands/line_index.h"

#include <algorithm>
#include <cstring>

#include "commands/text_search.h"
#include "lines/caseless.h"

namespace zeltrim {

namespace {
// The first `width` bytes at `at` as one number: the key a text is filed by.
std::uint64_t bytes_at(std::string_view line, std::size_t at, std::size_t width) {
  std::uint64_t key = 0;
  std::memcpy(&key, line.data() + at, width);
  return key;
}

// Where the first bytes of a text stand among the texts' first bytes.
std::size_t first_bytes_of(std::string_view line, std::size_t at, std::size_t width) {
  auto byte = [&](std::size_t offset) { return static_cast<unsigned char>(line[at + offset]); };
  return width == 1 ? byte(0) : byte(0) << 8 | byte(1);
}

// Adds the stages at or after `from` of a list in order.
void add_from(const StageList& stages, std::uint32_t from, StageList& found) {
  found.insert(found.end(), std::lower_bound(stages.begin(), stages.end(), from), stages.end());
}
}  // namespace

void TextSet::add(std::string_view text, std::uint32_t stage) {
  auto [known, is_new] = numbers_.try_emplace(text, static_cast<std::uint32_t>(texts_.size()));
  if (!is_new) return texts_[known->second].stages.push_back(stage);
  texts_.push_back({text, {stage}});
  auto first = static_cast<unsigned char>(text[0]);
  if (!first_bytes_[first]) firsts_.push_back(static_cast<char>(first));
  first_bytes_[first] = true;
  std::size_t width = std::min(text.size(), kWidest);
  std::unique_ptr<Width>& filed = widths_[width - 1];
  if (!filed) {
    filed = std::make_unique<Width>();
    filed->first_bytes.resize(width == 1 ? 1 << 8 : 1 << 16);
    widths_in_use_.insert(std::upper_bound(widths_in_use_.begin(), widths_in_use_.end(), width),
                          width);
  }
  filed->first_bytes[first_bytes_of(text, 0, width)] = true;
  filed->texts[bytes_at(text, 0, width)].push_back(known->second);
}

template <typename Each>
void TextSet::each_at(std::string_view line, std::size_t at, Each&& each) const {
  std::size_t left = line.size() - at;
  for (std::size_t width : widths_in_use_) {
    if (width > left) break;
    const Width& filed = *widths_[width - 1];
    if (!filed.first_bytes[first_bytes_of(line, at, width)]) continue;
    auto texts = filed.texts.find(bytes_at(line, at, width));
    if (texts == filed.texts.end()) continue;
    for (std::uint32_t number : texts->second) {
      std::string_view text = texts_[number].text;
      if (text.size() <= left && line.compare(at, text.size(), text) == 0) each(number);
    }
  }
}

void TextSet::starting(std::string_view line, std::uint32_t from, StageList& found) const {
  each_at(line, 0, [&](std::uint32_t number) { add_from(texts_[number].stages, from, found); });
}

// Only a place that holds one of the texts' first bytes can begin one: where they all begin
// alike, the places are found as a single byte is.
void TextSet::held(std::string_view line, std::uint32_t from, StageList& found) {
  ++searches_;
  auto found_at = [&](std::size_t at) {
    each_at(line, at, [&](std::uint32_t number) {
      Text& text = texts_[number];
      if (text.met == searches_) return;
      text.met = searches_;
      add_from(text.stages, from, found);
    });
  };
  if (firsts_.size() == 1) {
    for (std::size_t at = line.find(firsts_[0]); at != std::string_view::npos;
         at = line.find(firsts_[0], at + 1)) {
      found_at(at);
    }
    return;
  }
  for (std::size_t at = 0; at < line.size(); ++at) {
    if (first_bytes_[static_cast<unsigned char>(line[at])]) found_at(at);
  }
}

std::uint64_t TextTable::hash(std::string_view text) const {
  std::uint64_t hash = text.size() * 0x9e3779b97f4a7c15ULL;
  auto mix = [&](std::uint64_t word) {
    hash = (hash ^ (caseless_ ? lower_ascii_word(word) : word)) * 0xbf58476d1ce4e5b9ULL;
    hash ^= hash >> 31;
  };
  std::size_t at = 0;
  for (std::uint64_t word; at + sizeof word <= text.size(); at += sizeof word) {
    std::memcpy(&word, text.data() + at, sizeof word);
    mix(word);
  }
  if (at == text.size()) return hash;
  std::uint64_t rest = 0;
  for (std::size_t shift = 0; at < text.size(); ++at, shift += 8) {
    rest |= std::uint64_t{static_cast<unsigned char>(text[at])} << shift;
  }
  mix(rest);
  return hash;
}

std::size_t TextTable::slot_of(std::uint64_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  std::size_t at = hash & mask;
  while (slots_[at].text != kNone && slots_[at].hash != static_cast<std::uint32_t>(hash)) {
    at = (at + 1) & mask;
  }
  return at;
}

void TextTable::add(std::string_view text, std::uint32_t stage) {
  lengths_[std::min(text.size(), kLongest)] = true;
  if (!text.empty()) {
    auto first = static_cast<unsigned char>(text[0]);
    first_bytes_[first] = true;
    if (caseless_) {
      first_bytes_[static_cast<unsigned char>(lower_ascii(static_cast<char>(first)))] = true;
      first_bytes_[static_cast<unsigned char>(upper_ascii(static_cast<char>(first)))] = true;
    }
  }
  if (4 * (texts_.size() + 1) > 3 * slots_.size()) {
    // Twice the slots: every text filed afresh.
    std::vector<Slot> old(std::max<std::size_t>(16, 2 * slots_.size()));
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.text != kNone) slots_[slot_of(slot.hash)] = slot;
    }
  }
  std::uint64_t hashed = hash(text);
  Slot& slot = slots_[slot_of(hashed)];
  if (slot.text == kNone) {
    slot = {static_cast<std::uint32_t>(hashed), static_cast<std::uint32_t>(texts_.size()), stage};
    texts_.emplace_back();
    return;
  }
  auto number = static_cast<std::uint32_t>(stages_.size());
  stages_.push_back({stage});
  Text& filed = texts_[slot.text];
  if (filed.first == kNone) {
    filed.first = slot.more = number;
  } else {
    stages_[filed.last].next = number;
  }
  filed.last = number;
}

void TextTable::find(std::string_view text, std::uint32_t from, StageList& found) const {
  const Slot& slot = slots_[slot_of(hash(text))];
  if (slot.text == kNone) return;
  if (slot.stage >= from) found.push_back(slot.stage);
  for (std::uint32_t at = slot.more; at != kNone; at = stages_[at].next) {
    if (stages_[at].stage >= from) found.push_back(stages_[at].stage);
  }
}

void LineIndex::add(std::uint32_t stage, const LineKey& key) {
  switch (key.kind) {
    case LineKey::Kind::none:
      return;
    case LineKey::Kind::whole:
      return whole_.add(key.text, stage);
    case LineKey::Kind::whole_caseless:
      return whole_caseless_.add(key.text, stage);
    case LineKey::Kind::key:
      return keys_.add(key.text, stage);
    case LineKey::Kind::start:
      if (!key.text.empty()) return starts_.add(key.text, stage);
      break;
    case LineKey::Kind::holds:
      if (!key.text.empty()) return holds_.add(key.text, stage);
      break;
    case LineKey::Kind::every_line:
      break;
  }
  every_line_.push_back(stage);
}

void LineIndex::find(std::string_view text, std::uint32_t from, StageList& found) {
  found.clear();
  if (!every_line_.empty()) add_from(every_line_, from, found);
  char first = text.empty() ? '\0' : text[0];
  if (whole_.may_hold(text.size(), first)) whole_.find(text, from, found);
  if (whole_caseless_.may_hold(text.size(), first)) whole_caseless_.find(text, from, found);
  // A key begins at the first byte that is not "=".
  if (!keys_.empty() && (first == '=' || keys_.may_begin(first))) {
    std::string_view key = assignment_key(text);
    if (keys_.may_hold(key.size(), key.empty() ? '\0' : key[0])) keys_.find(key, from, found);
  }
  if (!text.empty() && starts_.may_begin(first)) starts_.starting(text, from, found);
  if (holds_.may_be_in(text)) holds_.held(text, from, found);
  // Each stage has one key, so it was found at most once.
  if (!std::is_sorted(found.begin(), found.end())) std::sort(found.begin(), found.end());
}

}  // namespace zeltrim
