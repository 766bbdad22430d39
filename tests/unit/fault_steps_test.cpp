// Every step a run takes on the disk, made to fail on purpose at each of its calls, in every way
// of carrying a target out: the run says so, the target keeps its bytes (or, once the new
// content is in place, holds it whole) and no temporary file is left. Each step is reached by a
// job of the table, and each write-back takes every step of a replacement.
#include <gtest/gtest.h>

#include "faulty_disk.h"
#include "folder_test.h"
#include "run/job.h"

namespace zeltrim {
namespace {

using Step = FaultyDisk::Step;

struct Job {
  const char* name;
  std::string old_bytes, instructions, new_bytes;  // the instructions after ".F T" or ".G T"
  RunSettings settings;
};

// The parameter is a Step, as a number.
class RunStep : public FolderTest, public testing::WithParamInterface<int> {};

TEST_P(RunStep, FailsAtEveryCallWithoutLosingTheTarget) {
  const auto step = static_cast<Step>(GetParam());
  std::string large;
  for (int i = 0; i < 200'000; ++i) large += "SET LINE=" + std::to_string(i) + "\r\n";
  const RunSettings kBackup{.target = {.backup = true}}, kTestMode{.test_mode = true};
  const Job jobs[] = {
      {"edited", "A\r\nB\r\n\x1A", ".F T\r\n.I X\r\n", "A\r\nB\r\nX\r\n\x1A", {}},
      {"edited in test mode", "A\r\nB\r\n\x1A", ".F T\r\n.I X\r\n.R A\r\n", "B\r\nX\r\n\x1A",
       kTestMode},
      {"previewed", "A\r\n\x1A", ".F T\r\n.I X\r\n", "A\r\n\x1A", {.target = {.no_write = true}}},
      {"started afresh", "old\r\n\x1A", ".G T\r\n.I X\r\n", "X\r\n\x1A", kBackup},
      {"large", large + "\x1A", ".F T\r\n.I X\r\n", large + "X\r\n\x1A", kBackup},
  };
  bool reached = false;
  for (const Job& job : jobs) {
    SCOPED_TRACE(job.name);
    bool replaced = false;  // a call of the replacement was made to fail
    // The first calls each, then ever further apart, and the last: a large target's reads and
    // writes are alike in between. `tried`: the last call made to fail.
    for (int calls = 0, tried = -1; calls > tried;) {
      SCOPED_TRACE("failing call " + std::to_string(calls + 1));
      std::filesystem::remove(path("T.bak"));
      write("T", job.old_bytes);
      write("i.zt", std::string(job.instructions).insert(3, path("")));
      FaultyDisk disk;
      disk.fail(step, calls);
      testing::internal::CaptureStdout();
      testing::internal::CaptureStderr();
      RunOutcome outcome = run_instruction_file(path("i.zt"), job.settings, disk);
      testing::internal::GetCapturedStdout();
      testing::internal::GetCapturedStderr();
      if (disk.pending(step)) {  // the run made fewer calls: its last one, unless it was tried
        calls = disk.made(step, calls) - 1;
        continue;
      }
      tried = calls;
      calls = calls < 8 ? calls + 1 : calls * 2;
      reached = true;
      bool failed = disk.failed_replacement();
      replaced |= failed;
      std::string now = read("T");
      ASSERT_TRUE(now == job.old_bytes || now == job.new_bytes);
      // A completed write has its new content in place, and no step of its replacement failed;
      // only a folder that could not be synced leaves the new content in place with an error.
      EXPECT_TRUE(job.settings.target.no_write ||
                  (outcome == RunOutcome::completed) == (now == job.new_bytes && !failed));
      EXPECT_TRUE(!failed || now == job.old_bytes || step == Step::sync_folder);
      // A backup, once made, holds the old content, whatever followed; new content has one.
      bool kept = std::filesystem::exists(path("T.bak"));
      EXPECT_TRUE(kept ? read("T.bak") == job.old_bytes
                       : !job.settings.target.backup || now != job.new_bytes);
      for (const std::string& name : names())
        EXPECT_TRUE(name == "T" || name == "i.zt" || name == "T.bak") << name;
    }
    // A write-back makes, writes, gives attributes to, syncs, closes and renames its temporary
    // file, syncs the folder and keeps the backup asked for; a preview does none of it.
    bool wanted = (step >= Step::create_temp && step <= Step::sync_folder) ||
                  (step == Step::backup && job.settings.target.backup);
    EXPECT_EQ(replaced, wanted && !job.settings.target.no_write) << "the replacement's calls";
  }
  EXPECT_TRUE(reached) << "no job of the table reaches this step";
}

INSTANTIATE_TEST_SUITE_P(Steps, RunStep, testing::Range(0, static_cast<int>(Step::count_)));

// Targets whose new content is made durable together: where that fails, none takes its place,
// and each says so.
class Together : public FolderTest {};

TEST_F(Together, ASyncThatFailsPutsNoneInPlace) {
  for (const char* name : {"T", "U"}) write(name, "A\r\n\x1A");
  write("i.zt", ".F " + path("T") + "\r\n.I X\r\n.F " + path("U") + "\r\n.I Y\r\n");
  FaultyDisk disk;
  disk.fail(Step::sync);
  testing::internal::CaptureStdout();
  EXPECT_EQ(run_instruction_file(path("i.zt"), {}, disk), RunOutcome::completed_with_errors);
  std::string said = testing::internal::GetCapturedStdout();
  for (const char* name : {"T", "U"}) {
    EXPECT_EQ(read(name), "A\r\n\x1A");
    EXPECT_NE(said.find("Error writing " + path(name)), std::string::npos) << said;
  }
  EXPECT_EQ(names().size(), 3u) << "no temporary file is left";
}

}  // namespace
}  // namespace zeltrim
