// The fast paths against plain definitions. .V and .U against the restart rule written out
// plainly: replace the first occurrence, then search again from the first byte, with find_text
// and mid_text, until none is left. Inputs are random over alphabets of two or three letters, so
// occurrences overlap, chain and form anew from a value and its neighbours. The prepared search
// against the library's, and the caseless compare against its definition, byte by byte.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "commands/interpreter.h"
#include "commands/text_search.h"
#include "lines/line_list.h"

namespace zeltrim {
namespace {

struct Plain {
  Replaced outcome = Replaced::none;
  std::string line;
  std::size_t replacements = 0;
};

// The rule as the commands are defined by it, one whole new line per replacement.
Plain plain_restarting(std::string line, const std::string& searched, const std::string& value,
                       std::size_t limit) {
  Plain plain;
  long long length = static_cast<long long>(searched.size());
  for (long long pos = find_text(line, searched, 1); pos != 0; pos = find_text(line, searched, 1)) {
    if (++plain.replacements > limit) return {Replaced::endless, "", plain.replacements};
    line = mid_text(line, 1, pos - 1, '\0') + value + mid_text(line, pos + length, -1, '\0');
  }
  plain.outcome = plain.replacements == 0 ? Replaced::none : Replaced::changed;
  plain.line = line;
  return plain;
}

class Random {
 public:
  explicit Random(unsigned seed) : engine_(seed) {}
  std::size_t below(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine_);
  }
  std::string text(std::size_t min_length, std::size_t max_length, std::string_view letters) {
    std::string out(min_length + below(max_length - min_length + 1), ' ');
    for (char& c : out) c = letters[below(letters.size())];
    return out;
  }
  std::string_view letters() { return below(3) == 0 ? "abc" : "ab"; }

 private:
  std::mt19937 engine_;
};

std::string shown(std::string_view line, std::string_view searched, std::string_view value) {
  return "line '" + std::string(line) + "' searched '" + std::string(searched) + "' value '" +
         std::string(value) + "'";
}

std::string shown(std::string_view argument) {
  std::string out = "argument '";
  for (char c : argument) out += c == '\x02' ? std::string("{02}") : std::string(1, c);
  return out + "'";
}

TEST(RestartRule, ReplaceRestartingMatchesThePlainRule) {
  Random random(20240601);
  std::string result;
  int chained = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    std::string_view letters = random.letters();
    std::string line = random.text(0, 14, letters);
    std::string searched = random.text(1, 4, letters);
    std::string value = random.text(0, 5, letters);
    std::size_t limit = varsub_limit(line.size());
    Plain plain = plain_restarting(line, searched, value, limit);
    SCOPED_TRACE(shown(line, searched, value));
    ASSERT_EQ(replace_restarting(line, searched, value, limit, result), plain.outcome);
    if (plain.outcome != Replaced::changed) continue;
    ASSERT_EQ(result, plain.line);
    // The bound is exact: as many replacements as the limit allows end, one more do not.
    ASSERT_EQ(replace_restarting(line, searched, value, plain.replacements, result),
              Replaced::changed);
    ASSERT_EQ(result, plain.line);
    ASSERT_EQ(replace_restarting(line, searched, value, plain.replacements - 1, result),
              Replaced::endless);
    // More replacements than occurrences in the line: some were formed anew.
    std::size_t occurrences = 0;
    for (std::size_t at = line.find(searched); at != std::string::npos;
         at = line.find(searched, at + searched.size())) {
      ++occurrences;
    }
    if (plain.replacements > occurrences) ++chained;
  }
  EXPECT_GT(chained, 500);  // the inputs did exercise the restart rule
}

// The prepared search that .V and .U stand on finds what the library's search finds, from every
// start, on texts full of partial matches.
TEST(PreparedSearch, FindsWhatTheLibrarySearchFinds) {
  Random random(99);
  for (int trial = 0; trial < 5000; ++trial) {
    std::string_view letters = random.letters();
    std::string text = random.text(0, 20, letters);
    std::string searched = random.text(1, 5, letters);
    Pattern pattern = prepare_pattern(searched);
    for (std::size_t from = 0; from <= text.size(); ++from) {
      ASSERT_EQ(find_pattern(text, pattern, from), std::string_view(text).find(searched, from))
          << shown(text, searched, "") << " from " << from;
    }
  }
}

// Every pair of bytes: equal, or the same ASCII letter in its two cases; nothing else.
TEST(CaselessCompare, EveryPairOfBytes) {
  auto lower = [](int c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
  for (int x = 0; x < 256; ++x) {
    for (int y = 0; y < 256; ++y) {
      char a = static_cast<char>(x);
      char b = static_cast<char>(y);
      ASSERT_EQ(caseless_equal(std::string_view(&a, 1), std::string_view(&b, 1)),
                lower(x) == lower(y))
          << x << " " << y;
    }
  }
}

// A target of random text, blank and removed entries; the entries afterwards and the report.
struct Listing {
  std::vector<std::pair<EntryKind, std::string>> entries;
  std::string report;
};

Listing listing(std::string report) {
  Listing out{{}, std::move(report)};
  for (const LineEntry* entry = line_list_head(); entry != nullptr; entry = entry->next) {
    out.entries.emplace_back(entry->kind, std::string(entry->text()));
  }
  return out;
}

void load_random_target(Random& random, std::string_view letters, std::size_t lines) {
  free_line_list();
  for (std::size_t i = 0; i < lines; ++i) {
    switch (random.below(8)) {
      case 0:
        add_bottom(new_blank_entry());
        break;
      case 1: {
        LineEntry* entry = new_line_entry(random.text(0, 10, letters));
        entry->kind = EntryKind::removed;
        add_bottom(entry);
        break;
      }
      default:
        add_bottom(new_line_entry(random.text(0, 14, letters)));
    }
  }
}

// What .V or .U must make of the loaded target, worked out entry by entry with the plain rule.
Listing expected(bool varsub, const std::string& first, const std::string& second) {
  Listing out;
  for (const LineEntry* entry = line_list_head(); entry != nullptr; entry = entry->next) {
    std::string text(entry->text());
    if (entry->kind != EntryKind::text) {
      out.entries.emplace_back(entry->kind, text);
      continue;
    }
    if (varsub) {
      Plain plain = plain_restarting(text, first, second, varsub_limit(text.size()));
      if (plain.outcome == Replaced::changed) {
        text = plain.line;
        out.report += "  VARSUB line now reads      : " + text + "\n";
      } else if (plain.outcome == Replaced::endless) {
        out.report += "  VARSUB never ends, kept    : " + text + "\n";
      }
    } else if (find_text(text, first, 1) == 1) {
      // An empty text to delete would be found for ever without changing anything.
      if (!second.empty()) text = plain_restarting(text, second, "", text.size()).line;
      out.report += "  UNCONCAT line now reads      : " + text + "\n";
    }
    out.entries.emplace_back(EntryKind::text, text);
  }
  return out;
}

void expect_same(const Listing& got, const Listing& want) {
  EXPECT_EQ(got.report, want.report);
  ASSERT_EQ(got.entries.size(), want.entries.size());
  for (std::size_t i = 0; i < got.entries.size(); ++i) {
    EXPECT_EQ(got.entries[i].first, want.entries[i].first) << "entry " << i;
    EXPECT_EQ(got.entries[i].second, want.entries[i].second) << "entry " << i;
  }
}

TEST(RestartRule, VarsubAndUnconcatMatchThePlainRule) {
  Random random(7);
  for (int trial = 0; trial < 600; ++trial) {
    bool varsub = trial % 2 == 0;
    std::string_view letters = random.letters();
    load_random_target(random, letters, random.below(12));
    std::string first = random.text(1, 3, letters);
    std::string second = random.text(0, 4, letters);
    // A final "." goes; a second part of a lone "." is present and becomes empty.
    bool dotted = random.below(2) == 0;
    std::string argument =
        std::string(random.below(2), '\x02') + first + '\x02' + second + (dotted ? "." : "");
    SCOPED_TRACE(std::string(varsub ? ".V " : ".U ") + shown(argument));

    Listing want = expected(varsub, first, second);
    if (second.empty() && !dotted) want = listing("");  // no second part: nothing changes
    testing::internal::CaptureStdout();
    Handled handled = varsub ? varsub_line(argument) : unconcat_line(argument);
    Listing got = listing(testing::internal::GetCapturedStdout());
    EXPECT_EQ(handled, second.empty() && !dotted ? Handled::missing_part : Handled::done);
    expect_same(got, want);
  }
  free_line_list();
}

// a^k b^k with .V ab -> ba sorts the line, one swap per pair: k * k replacements, against a limit
// of 8 per byte plus 64. Filler bytes move the limit onto the count exactly.
TEST(RestartRule, VarsubBoundIsExactOnALine) {
  struct Row {
    const char* name;
    std::size_t pairs;
    std::size_t filler;
    bool ends;
  };
  const Row rows[] = {
      {"well within", 10, 0, true},
      {"exactly at the limit", 20, 2, true},  // 400 swaps, limit 8 * 42 + 64 = 400
      {"one past the limit", 20, 1, false},   // 400 swaps, limit 8 * 41 + 64 = 392
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string line =
        std::string(row.pairs, 'a') + std::string(row.pairs, 'b') + std::string(row.filler, 'c');
    std::string sorted =
        std::string(row.pairs, 'b') + std::string(row.pairs, 'a') + std::string(row.filler, 'c');
    free_line_list();
    add_bottom(new_line_entry(line));
    testing::internal::CaptureStdout();
    varsub_line(
        "ab\x02"
        "ba");
    std::string report = testing::internal::GetCapturedStdout();
    if (row.ends) {
      EXPECT_EQ(line_list_head()->text(), sorted);
      EXPECT_EQ(report, "  VARSUB line now reads      : " + sorted + "\n");
    } else {
      EXPECT_EQ(line_list_head()->text(), line);
      EXPECT_EQ(report, "  VARSUB never ends, kept    : " + line + "\n");
    }
  }
  free_line_list();
}

}  // namespace
}  // namespace zeltrim
