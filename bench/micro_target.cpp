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
// through a temporary file that is synced and renamed; without, the target is only compared. A
// target is written back once, so each round loads it again, untimed.
void put_target(benchmark::State& state, bool changed) {
  Folder folder;
  std::string path = folder.write(startup_text() + "\x1A");
  const std::string first[2] = {"REM one", "REM two"};
  int round = 0;
  Target target;
  for (auto _ : state) {
    state.PauseTiming();
    target = Target();  // the last round's is let go of untimed, before the file is opened again
    target = load_target(path, Naming::existing, EncodingKind::plain);
    if (changed) target.lines.front().text = first[++round % 2];
    state.ResumeTiming();
    WriteResult result = write_target(target, TargetOptions{}).result;
    if (result != (changed ? WriteResult::written : WriteResult::unchanged)) {
      state.SkipWithError("the target was not written back as expected");
    }
  }
}
BENCHMARK_CAPTURE(put_target, changed, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(put_target, unchanged, false)->Unit(benchmark::kMillisecond);

// A target streamed through as a run without commands would: read line by line and handed to
// the writer, which compares the lines with the file and writes nothing (`unchanged`), or,
// where the first line differs, writes every line to a temporary file that is synced and
// renamed over the target (`changed`). The cost every streamed job pays before any command.
void stream(benchmark::State& state, bool changed) {
  Folder folder;
  std::string text = startup_text();
  std::string path = folder.write(text + "\x1A");
  const std::string first[2] = {"REM one", "REM two"};
  const TargetOptions options;  // the writer holds on to them
  int round = 0;
  for (auto _ : state) {
    Target target = open_target(path, Naming::existing, EncodingKind::plain, options);
    TargetReader reader(target);
    TargetWriter writer(target, options);
    bool at_first = true;
    for (Line line; reader.next(line); at_first = false) {
      if (changed && at_first) line.text = first[++round % 2];
      writer.put(line);
    }
    target.form = reader.form();
    target.held_lines = true;
    WriteResult result = writer.finish().result;
    if (result != (changed ? WriteResult::written : WriteResult::unchanged)) {
      state.SkipWithError("the target was not written back as expected");
    }
  }
  state.SetBytesProcessed(static_cast<long long>(state.iterations() * text.size()));
}
BENCHMARK_CAPTURE(stream, changed, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(stream, unchanged, false)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zeltrim
