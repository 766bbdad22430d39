#include "commands/line_index.h"

#include <algorithm>
#include <cstring>

#include "commands/text_search.h"

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
  std::size_t width = std::min(text.size(), kWidest);
  std::unique_ptr<Width>& filed = widths_[width - 1];
  if (!filed) {
    filed = std::make_unique<Width>();
    filed->first_bytes.resize(width == 1 ? 1 << 8 : 1 << 16);
  }
  filed->first_bytes[first_bytes_of(text, 0, width)] = true;
  filed->texts[bytes_at(text, 0, width)].push_back(known->second);
}

template <typename Each>
void TextSet::each_at(std::string_view line, std::size_t at, Each&& each) const {
  std::size_t left = line.size() - at;
  for (std::size_t width = 1; width <= kWidest && width <= left; ++width) {
    const Width* filed = widths_[width - 1].get();
    if (filed == nullptr || !filed->first_bytes[first_bytes_of(line, at, width)]) continue;
    auto texts = filed->texts.find(bytes_at(line, at, width));
    if (texts == filed->texts.end()) continue;
    for (std::uint32_t number : texts->second) {
      std::string_view text = texts_[number].text;
      if (text.size() <= left && line.compare(at, text.size(), text) == 0) each(number);
    }
  }
}

void TextSet::starting(std::string_view line, std::uint32_t from, StageList& found) const {
  if (line.empty()) return;
  each_at(line, 0, [&](std::uint32_t number) { add_from(texts_[number].stages, from, found); });
}

void TextSet::held(std::string_view line, std::uint32_t from, StageList& found) {
  ++searches_;
  for (std::size_t at = 0; at < line.size(); ++at) {
    each_at(line, at, [&](std::uint32_t number) {
      Text& text = texts_[number];
      if (text.met == searches_) return;
      text.met = searches_;
      add_from(text.stages, from, found);
    });
  }
}

namespace {
// The word with its ASCII capitals in lower case, eight bytes at once: a byte gets 0x20 where,
// below 0x80, it is at least 'A' and not past 'Z'. No byte carries into the next.
std::uint64_t lower_case(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  std::uint64_t low = word & (0x7f * kOnes);
  std::uint64_t from_a = low + (0x80 - 'A') * kOnes;
  std::uint64_t past_z = low + (0x80 - 'Z' - 1) * kOnes;
  std::uint64_t capital = from_a & ~past_z & ~word & (0x80 * kOnes);
  return word | capital >> 2;
}
}  // namespace

std::uint64_t TextTable::hash(std::string_view text) const {
  std::uint64_t hash = text.size() * 0x9e3779b97f4a7c15ULL;
  auto mix = [&](std::uint64_t word) {
    hash = (hash ^ (caseless_ ? lower_case(word) : word)) * 0xbf58476d1ce4e5b9ULL;
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

// The slot that holds the text, or the free one where it would go.
std::size_t TextTable::slot_of(std::string_view text, std::uint64_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    const Slot& slot = slots_[at];
    if (slot.text == kNone) return at;
    if (slot.hash != static_cast<std::uint32_t>(hash)) continue;
    std::string_view filed = texts_[slot.text].text;
    if (caseless_ ? caseless_equal(filed, text) : filed == text) return at;
  }
}

// Files every text afresh in twice the slots, in the order they came: their bytes are read
// one after another.
void TextTable::grow() {
  slots_.assign(std::max<std::size_t>(16, 2 * slots_.size()), Slot{});
  for (std::uint32_t number = 0; number < texts_.size(); ++number) {
    std::uint64_t hashed = hash(texts_[number].text);
    slots_[slot_of(texts_[number].text, hashed)] = {static_cast<std::uint32_t>(hashed), number};
  }
}

void TextTable::add(std::string_view text, std::uint32_t stage) {
  if (4 * (texts_.size() + 1) > 3 * slots_.size()) grow();
  std::uint64_t hashed = hash(text);
  Slot& slot = slots_[slot_of(text, hashed)];
  auto number = static_cast<std::uint32_t>(stages_.size());
  stages_.push_back({stage});
  if (slot.text == kNone) {
    slot = {static_cast<std::uint32_t>(hashed), static_cast<std::uint32_t>(texts_.size())};
    texts_.push_back({text, number, number});
    return;
  }
  Text& filed = texts_[slot.text];
  stages_[filed.last].next = number;
  filed.last = number;
}

void TextTable::find(std::string_view text, std::uint32_t from, StageList& found) const {
  if (texts_.empty()) return;
  const Slot& slot = slots_[slot_of(text, hash(text))];
  if (slot.text == kNone) return;
  for (std::uint32_t at = texts_[slot.text].first; at != kNone; at = stages_[at].next) {
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
  add_from(every_line_, from, found);
  whole_.find(text, from, found);
  whole_caseless_.find(text, from, found);
  if (!keys_.empty()) keys_.find(assignment_key(text), from, found);
  if (!starts_.empty()) starts_.starting(text, from, found);
  if (!holds_.empty()) holds_.held(text, from, found);
  // Each stage has one key, so it was found at most once.
  if (!std::is_sorted(found.begin(), found.end())) std::sort(found.begin(), found.end());
}

}  // namespace zeltrim
