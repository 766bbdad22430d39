// Loading a target into the line list and writing it back, on 100,000 start-up lines.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "target/target_file.h"

namespace zeltrim {
namespace {

constexpr int kLines = 100000;

std::string startup_text() {
  std::string text;
  for (int n = 0; n < kLines; ++n) {
    text += n % 5 == 0   ? "PATH=C:\\WINDOWS;C:\\WINDOWS\\COMMAND;C:\\APPS\\A" + std::to_string(n)
            : n % 5 == 1 ? std::string("DEVICE=C:\\DOS\\HIMEM.SYS")
            : n % 5 == 2 ? "NET USE Q: \\\\%TCPIP%\\SHARE" + std::to_string(n)
            : n % 5 == 3 ? std::string()
                         : "REM ---- Start-up section " + std::to_string(n);
    text += "\r\n";
  }
  return text;
}

std::string utf16le(const std::string& text) {
  std::string out = "\xFF\xFE";
  for (char c : text) out += std::string{c, '\0'};
  return out;
}

// A folder of its own for the benchmark's target, removed at the end.
class Folder {
 public:
  Folder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "zeltrim-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~Folder() { std::filesystem::remove_all(path_); }
  std::string write(const std::string& bytes) const {
    std::string target = path_ + "/TARGET";
    std::ofstream(target, std::ios::binary) << bytes;
    return target;
  }

 private:
  std::string path_;
};

void load(benchmark::State& state, bool wide) {
  Folder folder;
  std::string bytes = wide ? utf16le(startup_text()) : startup_text() + "\x1A";
  std::string target = folder.write(bytes);
  for (auto _ : state) {
    Target loaded = load_target(target, Naming::existing, EncodingKind::plain);
    if (!loaded.loaded()) state.SkipWithError("the target did not load");
  }
  state.SetBytesProcessed(static_cast<long long>(state.iterations() * bytes.size()));
}
BENCHMARK_CAPTURE(load, plain, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(load, utf16le, true)->Unit(benchmark::kMillisecond);

// The written form of a loaded target, built in memory.
void written_form_plain(benchmark::State& state) {
  Folder folder;
  Target target = load_target(folder.write(startup_text()), Naming::existing, EncodingKind::plain);
  std::size_t bytes = 0;
  for (auto _ : state) bytes += written_form(target).size();
  state.SetBytesProcessed(static_cast<long long>(bytes));
}
BENCHMARK(written_form_plain)->Unit(benchmark::kMillisecond);

// Writing back: with `changed`, every round changes the first line, so the target is rewritten
// through a temporary file that is synced and renamed; without, the target is only compared.
void put_target(benchmark::State& state, bool changed) {
  Folder folder;
  Target target = load_target(folder.write(startup_text()), Naming::existing, EncodingKind::plain);
  const std::string first[2] = {"REM one", "REM two"};
  int round = 0;
  for (auto _ : state) {
    if (changed) target.lines.front().text = first[++round % 2];
    WriteResult result = write_target(target).result;
    if (result != WriteResult::written && result != WriteResult::unchanged) {
      state.SkipWithError("the target was not written");
    }
  }
}
BENCHMARK_CAPTURE(put_target, changed, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(put_target, unchanged, false)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zeltrim
