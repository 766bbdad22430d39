// Reading a target and writing it back, on 100,000 start-up lines.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "textfile/target_file.h"

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

platform::Disk& disk = platform::system_disk();

// Reading a target's lines, as every run does.
void read(benchmark::State& state, bool wide) {
  Folder folder;
  std::string bytes = wide ? utf16le(startup_text()) : startup_text() + "\x1A";
  std::string path = folder.write(bytes);
  const TargetOptions options;
  for (auto _ : state) {
    Opened opened =
        open_target(disk, path, Naming::existing, EncodingKind::plain, options, {}, [] {});
    TargetReader reader(disk, opened.target, options);
    for (Line line; reader.next(line);) benchmark::DoNotOptimize(line.text.data());
    if (reader.result() != LoadResult::loaded) state.SkipWithError("the target did not load");
  }
  state.SetBytesProcessed(static_cast<long long>(state.iterations() * bytes.size()));
}
BENCHMARK_CAPTURE(read, plain, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read, utf16le, true)->Unit(benchmark::kMillisecond);

// A target passed through as a run without commands would: read line by line and handed to the
// writer, which compares the lines with the file and writes nothing (`unchanged`), or, where
// the first line differs, writes every line to a temporary file that is synced and renamed over
// the target (`changed`). The cost every job pays before any command.
void pass_through(benchmark::State& state, bool changed) {
  Folder folder;
  std::string text = startup_text();
  std::string path = folder.write(text + "\x1A");
  const std::string first[2] = {"REM one", "REM two"};
  const TargetOptions options;  // the writer holds on to them
  int round = 0;
  for (auto _ : state) {
    Opened opened =
        open_target(disk, path, Naming::existing, EncodingKind::plain, options, {}, [] {});
    TargetWriter writer(disk, opened.target, options);
    TargetReader reader(disk, opened.target, options);
    bool at_first = true;
    for (Line line; reader.next(line); at_first = false) {
      if (changed && at_first) line.text = first[++round % 2];
      writer.put(line);
    }
    opened.target.form = reader.form();
    writer.prepare(true);
    WriteResult result = writer.commit().result;
    if (result != (changed ? WriteResult::written : WriteResult::unchanged)) {
      state.SkipWithError("the target was not written back as expected");
    }
  }
  state.SetBytesProcessed(static_cast<long long>(state.iterations() * text.size()));
}
BENCHMARK_CAPTURE(pass_through, changed, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(pass_through, unchanged, false)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zeltrim
