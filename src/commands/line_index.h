// Which of a target's commands may act on a line, found by looking the line up rather than by
// asking every command: a line pays for the commands that concern it, not for all of them. The
// index only narrows the choice; each command still decides for itself.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "commands/command_kit.h"

namespace zeltrim {

// Stages are numbered in command order; a line meets those it may concern in that order.
using StageList = std::vector<std::uint32_t>;

// Texts looked for at a place in a line, or anywhere in it. They are filed by their first bytes
// (up to eight, as many as the shortest text of their length class holds), so that a place in a
// line is looked up once per length class and the texts found there are compared in full.
class TextSet {
 public:
  void add(std::string_view text, std::uint32_t stage);
  bool empty() const { return texts_.empty(); }
  // Whether a text may begin with this byte: most lines are let pass at once.
  bool may_begin(char byte) const { return first_bytes_[static_cast<unsigned char>(byte)]; }
  // Adds the stages at or after `from` of every text `line` begins with.
  void starting(std::string_view line, std::uint32_t from, StageList& found) const;
  // Whether `line` may hold a text: where they all begin alike, whether it holds that byte.
  bool may_be_in(std::string_view line) const {
    return !texts_.empty() && !line.empty() &&
           (firsts_.size() != 1 || std::memchr(line.data(), firsts_[0], line.size()) != nullptr);
  }
  // Adds the stages at or after `from` of every text `line` holds, each text once however
  // often it occurs.
  void held(std::string_view line, std::uint32_t from, StageList& found);

 private:
  static constexpr std::size_t kWidest = 8;
  struct Text {
    std::string_view text;
    StageList stages;
    std::uint64_t met = 0;  // the last search that found it
  };
  // The texts whose first `width` bytes are the key: the class of texts of that length, or
  // (the widest) of every longer one.
  struct Width {
    std::vector<bool> first_bytes;  // by the first two bytes (the first one for width 1)
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> texts;
  };
  template <typename Each>
  void each_at(std::string_view line, std::size_t at, Each&& each) const;

  std::vector<Text> texts_;
  std::unordered_map<std::string_view, std::uint32_t> numbers_;  // a text to its place in texts_
  std::array<std::unique_ptr<Width>, kWidest> widths_;           // by width - 1
  std::vector<std::size_t> widths_in_use_;                       // in order
  std::array<bool, 256> first_bytes_{};                          // the texts' first bytes
  std::string firsts_;                                           // the same, one each
  std::uint64_t searches_ = 0;
};

// Texts, each with the stages filed under it in order: a table that a line's text is looked up
// in with one hash, exactly or letter case aside. Texts are told apart by the low half of their
// hashes alone: two texts that hashed alike only bring each other's commands to lines that those
// commands then pass by.
class TextTable {
 public:
  explicit TextTable(bool caseless) : caseless_(caseless) {}
  void add(std::string_view text, std::uint32_t stage);
  bool empty() const { return texts_.empty(); }
  // Whether a text may begin with this byte, and be of this length with this first byte (any,
  // when empty): most lines are let pass without a look-up.
  bool may_begin(char byte) const { return first_bytes_[static_cast<unsigned char>(byte)]; }
  bool may_hold(std::size_t length, char first) const {
    return lengths_[std::min(length, kLongest)] && (length == 0 || may_begin(first));
  }
  // Adds the stages at or after `from` filed under `text`.
  void find(std::string_view text, std::uint32_t from, StageList& found) const;

 private:
  static constexpr std::uint32_t kNone = UINT32_MAX;
  // A text's first stage is in its slot, so that a line that meets one command (nearly every
  // one) reads nothing more; any others follow in `stages_`.
  struct Slot {
    std::uint32_t hash = 0;  // the low half of the text's hash
    std::uint32_t text = kNone;
    std::uint32_t stage = 0;
    std::uint32_t more = kNone;  // the text's second stage in `stages_`
  };
  struct Text {  // where its stages after the first are, while they are filed
    std::uint32_t first = kNone;
    std::uint32_t last = kNone;
  };
  struct Stage {
    std::uint32_t stage;
    std::uint32_t next = kNone;  // the next stage filed under the same text
  };
  std::uint64_t hash(std::string_view text) const;
  // The slot that holds the hash, or the free one where it would go.
  std::size_t slot_of(std::uint64_t hash) const;

  // Lengths from this on are filed as one.
  static constexpr std::size_t kLongest = 256;

  bool caseless_;
  std::array<bool, kLongest + 1> lengths_{};  // of the texts
  std::array<bool, 256> first_bytes_{};       // of the texts, in both cases
  std::vector<Slot> slots_;  // a power of two of them, never more than three quarters used
  std::vector<Text> texts_;
  std::vector<Stage> stages_;
};

class LineIndex {
 public:
  // Files stage `stage`, which may act on the lines its key describes. Stages come in order.
  void add(std::uint32_t stage, const LineKey& key);
  // The stages at or after `from` that may act on a line of this text, in order, into `found`.
  void find(std::string_view text, std::uint32_t from, StageList& found);

 private:
  StageList every_line_;
  TextTable whole_{false};
  TextTable whole_caseless_{true};
  TextTable keys_{true};
  TextSet starts_;
  TextSet holds_;
};

}  // namespace zeltrim
