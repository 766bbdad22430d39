// The searches and compares every command runs once per line: on a short start-up line, on one
// long line, and on texts chosen to make a naive search step back again and again.
#include <benchmark/benchmark.h>

#include <string>

#include "commands/text_search.h"

namespace zeltrim {
namespace {

const std::string kLine = "NET USE Q: \\\\SERVER\\SHARE42 /PERSISTENT:NO";

void find_pattern_short_line(benchmark::State& state) {
  Pattern pattern = prepare_pattern("%TCPIP%");
  for (auto _ : state) benchmark::DoNotOptimize(find_pattern(kLine, pattern));
}
BENCHMARK(find_pattern_short_line);

// 8 MB of start-up text with the one occurrence at its end.
void find_pattern_long_line(benchmark::State& state) {
  std::string text;
  while (text.size() < (8u << 20)) text += kLine;
  text += "%TCPIP%";
  Pattern pattern = prepare_pattern("%TCPIP%");
  for (auto _ : state) benchmark::DoNotOptimize(find_pattern(text, pattern));
  state.SetBytesProcessed(static_cast<long long>(state.iterations() * text.size()));
}
BENCHMARK(find_pattern_long_line);

// a...a searched for a...ab: every position matches all but the last byte of the pattern.
std::string adversarial_text() { return std::string(1u << 20, 'a'); }
std::string adversarial_pattern() { return std::string(255, 'a') + "b"; }

void find_pattern_adversarial(benchmark::State& state) {
  std::string text = adversarial_text();
  const std::string searched = adversarial_pattern();  // the pattern only views it
  Pattern pattern = prepare_pattern(searched);
  for (auto _ : state) benchmark::DoNotOptimize(find_pattern(text, pattern));
  state.SetBytesProcessed(static_cast<long long>(state.iterations() * text.size()));
}
BENCHMARK(find_pattern_adversarial);

// The same with the library search, for comparison: it compares the whole pattern at each start.
void string_view_find_adversarial(benchmark::State& state) {
  std::string text = adversarial_text();
  std::string pattern = adversarial_pattern();
  for (auto _ : state) benchmark::DoNotOptimize(std::string_view(text).find(pattern));
  state.SetBytesProcessed(static_cast<long long>(state.iterations() * text.size()));
}
BENCHMARK(string_view_find_adversarial);

void caseless_equal_same_size(benchmark::State& state) {
  std::string a = "SET PATH=C:\\WINDOWS;C:\\WINDOWS\\COMMAND;C:\\DOS";
  std::string b = "set path=c:\\windows;c:\\windows\\command;c:\\dos";
  for (auto _ : state) benchmark::DoNotOptimize(caseless_equal(a, b));
}
BENCHMARK(caseless_equal_same_size);

void caseless_equal_other_size(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(caseless_equal(kLine, "DOSKEY"));
}
BENCHMARK(caseless_equal_other_size);

// .V and .U on one 8 MB line with 500,000 occurrences; in the chained case every replacement
// forms one more occurrence with the byte in front of it.
void replace_on_long_line(benchmark::State& state, std::string unit, std::string searched,
                          std::string value) {
  std::string line;
  for (int i = 0; i < 500000; ++i) line += unit;
  Replacement replacement = prepare_replacement(searched, value);
  std::string result;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        replace_restarting(line, replacement, varsub_limit(line.size()), result));
  }
  state.SetBytesProcessed(static_cast<long long>(state.iterations() * line.size()));
}
BENCHMARK_CAPTURE(replace_on_long_line, varsub, "NET USE \\\\%TCPIP%", "%TCPIP%", "10.1.2.3");
BENCHMARK_CAPTURE(replace_on_long_line, varsub_chained, "aabb-C:\\DOS;PQRSTU", "ab", "a");
BENCHMARK_CAPTURE(replace_on_long_line, unconcat, "C:\\WINDOWS;C:\\D;", "C:\\WINDOWS;", "");

}  // namespace
}  // namespace zeltrim
