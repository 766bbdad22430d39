// A run ended by a signal at a random moment, most of them while a large target is being
// written back: the target is always exactly the old or exactly the new content. SIGKILL may
// leave the temporary file, named after the target with ".zeltrim-"; a signal the program can
// catch removes it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "harness.h"
#include "text_util.h"

namespace zeltrim::e2e {
namespace {

using Clock = std::chrono::steady_clock;

// Fewer where every run is slow (a sanitizer or valgrind), which looks for other faults.
int runs_per_signal() { return resource_limits_apply() ? 24 : 6; }
constexpr std::string_view kTempMarker = ".zeltrim-";
constexpr std::string_view kLeftoverOfT = "T.zeltrim-";  // the target's name, then the marker

std::string large_target() {
  std::string bytes;
  for (int i = 0; i < 100'000; ++i) {
    bytes += "SET VARIABLE_" + std::to_string(i) + "=SOME VALUE THAT FILLS THE LINE\r\n";
  }
  return bytes + "\x1A";
}

bool temporary_file_exists(const Scratch& folder) {
  std::vector<std::string> names = folder.names();
  return std::any_of(names.begin(), names.end(), [](const std::string& name) {
    return name.find(kTempMarker) != std::string::npos;
  });
}

// Waits for the child; true when a signal ended it (rather than the end of the run).
bool ended_by_signal(pid_t child) {
  int status = 0;
  waitpid(child, &status, 0);
  return WIFSIGNALED(status);
}

// Waits until the temporary file exists (or no longer exists), or `limit` has passed since
// `from`.
void wait_for_temporary_file(const Scratch& folder, bool exists, Clock::time_point from,
                             Clock::duration limit) {
  while (temporary_file_exists(folder) != exists && Clock::now() - from < limit) {
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

struct SignalCase {
  const char* name;
  int signal_number;
  bool may_leave_temporary;
};
void PrintTo(const SignalCase& row, std::ostream* out) { *out << row.name; }

class Interruption : public testing::TestWithParam<SignalCase> {};

TEST_P(Interruption, TargetIsAlwaysTheOldOrTheNewContent) {
  const SignalCase& row = GetParam();
  if (program_is_windows()) GTEST_SKIP() << "POSIX signals; a loader stands between them and it";
  const std::string old_target = large_target();
  const std::string new_target = old_target.substr(0, old_target.size() - 1) + "X\r\n\x1A";
  Scratch folder;
  folder.write("i.zt", crlf_lines({".F T", ".I X"}));

  // One whole run tells how long a run and its write-back take here (a sanitizer or valgrind
  // is far slower, also after the write-back, when it looks for leaks).
  folder.write("T", old_target);
  Clock::time_point start = Clock::now();
  pid_t calibration = start_zeltrim(folder, {"i.zt"});
  wait_for_temporary_file(folder, true, start, std::chrono::minutes(1));
  Clock::time_point writing_from = Clock::now();
  wait_for_temporary_file(folder, false, start, std::chrono::minutes(2));
  Clock::duration write_back = Clock::now() - writing_from;
  ASSERT_FALSE(ended_by_signal(calibration));
  Clock::duration whole_run = Clock::now() - start;
  ASSERT_EQ(folder.read("T"), new_target);

  std::random_device seed_source;
  unsigned seed = seed_source();
  SCOPED_TRACE("random seed " + std::to_string(seed));
  std::mt19937 random(seed);
  // Half the runs are ended at any moment, half during the write-back; as a write-back may take
  // much less time than the one measured, more runs follow until half of them hit one.
  const int runs = runs_per_signal();
  int kept_old = 0;
  int killed_while_writing = 0;
  for (int run = 0; run < runs || (killed_while_writing < runs / 2 && run < runs * 4); ++run) {
    if (folder.read("T") != old_target) folder.write("T", old_target);
    Clock::time_point launched = Clock::now();
    pid_t child = start_zeltrim(folder, {"i.zt"});
    Clock::duration span = whole_run;
    if (run % 2 == 1 || run >= runs) {
      // Every run writes back, so the file comes; under load a start may take many times the
      // measured run, and giving up early would kill the run before its write-back.
      wait_for_temporary_file(folder, true, launched, std::chrono::minutes(1));
      span = write_back;
    }
    std::this_thread::sleep_for(
        Clock::duration(std::uniform_int_distribution<Clock::rep>(0, span.count())(random)));
    bool writing = temporary_file_exists(folder);
    kill(child, row.signal_number);
    bool interrupted = ended_by_signal(child);

    std::string after = folder.read("T");
    ASSERT_TRUE(after == old_target || after == new_target)
        << "run " << run << ": the target is neither the old nor the new content (" << after.size()
        << " bytes)";
    if (after == old_target) ++kept_old;
    if (interrupted && writing) ++killed_while_writing;
    for (const std::string& name : folder.names()) {
      if (name == "T" || name == "i.zt") continue;
      EXPECT_TRUE(row.may_leave_temporary) << "run " << run << " left " << name;
      EXPECT_TRUE(name.starts_with(kLeftoverOfT)) << "unrecognisable " << name;
      std::remove(folder.file(name).c_str());
    }
  }
  EXPECT_GE(killed_while_writing, runs / 2);
  RecordProperty("kept_old", kept_old);
  RecordProperty("killed_while_writing", killed_while_writing);
}

INSTANTIATE_TEST_SUITE_P(Signals, Interruption,
                         testing::Values(SignalCase{"kill", SIGKILL, true},
                                         SignalCase{"term", SIGTERM, false},
                                         SignalCase{"interrupt", SIGINT, false}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace zeltrim::e2e
