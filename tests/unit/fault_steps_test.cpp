// Every step a run takes on the disk, made to fail on purpose at each of its calls, in every way
// of carrying a target out: the run says so, the target keeps its bytes (or, once the new
// content is in place, holds it whole) and no temporary file is left.
#include <gtest/gtest.h>

#include "faulty_disk.h"
#include "folder_test.h"
#include "run/job.h"

namespace zeltrim {
namespace {

using Step = FaultyDisk::Step;

struct Job {
  const char* name;
  std::string old_bytes;
  std::string instructions;  // after ".F T" or ".G T"
  std::string new_bytes;
  RunSettings settings;
};

// The parameter is a Step, as a number.
class RunStep : public FolderTest, public testing::WithParamInterface<int> {};

TEST_P(RunStep, FailsAtEveryCallWithoutLosingTheTarget) {
  const auto step = static_cast<Step>(GetParam());
  static const std::string kLarge = [] {
    std::string lines;
    for (int i = 0; i < 200'000; ++i) lines += "SET LINE=" + std::to_string(i) + "\r\n";
    return lines;
  }();
  const Job jobs[] = {
      {"edited", "A\r\nB\r\n\x1A", ".F T\r\n.I X\r\n", "A\r\nB\r\nX\r\n\x1A", {}},
      {"edited in test mode",
       "A\r\nB\r\n\x1A",
       ".F T\r\n.I X\r\n.R A\r\n",
       "B\r\nX\r\n\x1A",
       {.test_mode = true}},
      {"started afresh",
       "old\r\n\x1A",
       ".G T\r\n.I X\r\n",
       "X\r\n\x1A",
       {.target = {.backup = true}}},
      {"large",
       kLarge + "\x1A",
       ".F T\r\n.I X\r\n",
       kLarge + "X\r\n\x1A",
       {.target = {.backup = true}}},
  };
  for (const Job& job : jobs) {
    SCOPED_TRACE(job.name);
    int calls = 0;
    for (;; ++calls) {
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
      if (disk.pending(step)) break;  // the run made fewer calls
      std::string now = read("T");
      ASSERT_TRUE(now == job.old_bytes || now == job.new_bytes);
      // Only a folder that could not be synced leaves the new content in place with an error.
      EXPECT_EQ(outcome == RunOutcome::completed,
                now == job.new_bytes && step != Step::sync_folder);
      // A backup, once made, holds the old content, whatever followed.
      if (std::filesystem::exists(path("T.bak"))) {
        EXPECT_EQ(read("T.bak"), job.old_bytes);
      }
      if (job.settings.target.backup && now == job.new_bytes) {
        EXPECT_TRUE(std::filesystem::exists(path("T.bak")));
      }
      for (const std::string& name : names()) {
        EXPECT_TRUE(name == "T" || name == "i.zt" || name == "T.bak") << name;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Steps, RunStep, testing::Range(0, static_cast<int>(Step::count_)));

}  // namespace
}  // namespace zeltrim
