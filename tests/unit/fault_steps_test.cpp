// Every step of loading and writing back a target, made to fail on purpose at each of its calls:
// the result says so and carries the reason, the target keeps its bytes (or, once the new content
// is in place, holds it whole) and no temporary file is left.
#include <gtest/gtest.h>

#include "commands/interpreter.h"
#include "folder_test.h"
#include "platform/faults.h"
#include "target/target_file.h"

namespace zeltrim {
namespace {

using platform::Step;

const std::string kOld = "A\r\nB\r\n\x1A";

// T loaded, with one line more at the bottom, as a command would leave it.
Target loaded_with_x(const std::string& path) {
  Target target = load_target(path, Naming::existing, EncodingKind::plain);
  target.lines.push_back(added_line("X"));
  target.held_lines = true;
  return target;
}

struct WriteCase {
  const char* name;
  Step step;
  WriteResult result;
  WriteResult or_result;  // where the failing call may fall on either of two paths
};
void PrintTo(const WriteCase& row, std::ostream* out) { *out << row.name; }

class WriteBackStep : public FolderTest, public testing::WithParamInterface<WriteCase> {};

TEST_P(WriteBackStep, FailsAtEveryCallWithoutLosingTheTarget) {
  const WriteCase& row = GetParam();
  // A small target, and one large enough to be written in several pieces.
  std::string large;
  for (int i = 0; i < 200'000; ++i) large += "SET LINE=" + std::to_string(i) + "\r\n";
  for (const std::string& old : {kOld, large + "\x1A"}) {
    int calls = 0;
    for (;; ++calls) {
      SCOPED_TRACE("failing call " + std::to_string(calls + 1) + " of " +
                   std::to_string(old.size()));
      platform::clear_failures();
      Target target = loaded_with_x(write("T", old));
      platform::fail_step(row.step, calls);
      WriteOutcome outcome = write_target(target, {});
      if (platform::failure_pending(row.step)) break;  // the write-back made fewer calls
      EXPECT_TRUE(outcome.result == row.result || outcome.result == row.or_result);
      bool in_place =
          outcome.result == WriteResult::written || outcome.result == WriteResult::not_durable;
      EXPECT_EQ(outcome.reason.done(), outcome.result == WriteResult::written);
      EXPECT_EQ(read("T"), in_place ? old.substr(0, old.size() - 1) + "X\r\n\x1A" : old);
      EXPECT_EQ(names(), std::vector<std::string>{"T"});
    }
    EXPECT_GT(calls, 0) << "the write-back never took this step";
  }
}

// The same failures in a whole run, where the target streams through its commands to the
// write-back (and the instruction file is read through the same steps).
TEST_P(WriteBackStep, StreamedRunFailsAtEveryCallWithoutLosingTheTarget) {
  const WriteCase& row = GetParam();
  RunSettings settings;
  int calls = 0;
  for (;; ++calls) {
    platform::clear_failures();
    write("T", kOld);
    write("i.zt", ".F " + path("T") + "\r\n.I X\r\n");
    platform::fail_step(row.step, calls);
    testing::internal::CaptureStdout();
    RunOutcome outcome = run_instruction_file(path("i.zt"), settings);
    testing::internal::GetCapturedStdout();
    if (platform::failure_pending(row.step)) break;
    std::string now = read("T");
    EXPECT_TRUE(now == kOld || now == "A\r\nB\r\nX\r\n\x1A") << "failing call " << calls + 1;
    EXPECT_EQ(outcome == RunOutcome::completed, now != kOld && row.step != Step::sync_folder);
    EXPECT_EQ(names(), (std::vector<std::string>{"T", "i.zt"}));
  }
  EXPECT_GT(calls, 0) << "the run never took this step";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Steps, WriteBackStep,
    testing::Values(
        // A failed look at the old content counts as a difference; a failed copy of its
        // unchanged start leaves the target as it was.
        WriteCase{"read", Step::read, WriteResult::written, WriteResult::cannot_write},
        WriteCase{"create_temp", Step::create_temp, WriteResult::no_temp_file, WriteResult::no_temp_file},
        WriteCase{"write", Step::write, WriteResult::cannot_write, WriteResult::cannot_write},
        WriteCase{"sync", Step::sync, WriteResult::cannot_write, WriteResult::cannot_write},
        WriteCase{"close", Step::close, WriteResult::cannot_write, WriteResult::cannot_write},
        WriteCase{"rename", Step::rename, WriteResult::cannot_write, WriteResult::cannot_write},
        WriteCase{"sync_folder", Step::sync_folder, WriteResult::not_durable, WriteResult::not_durable}),
    [](const auto& info) { return info.param.name; });
// clang-format on

struct LoadCase {
  const char* name;
  Step step;
  Naming naming;
  LoadResult result;
};
void PrintTo(const LoadCase& row, std::ostream* out) { *out << row.name; }

class LoadStep : public FolderTest, public testing::WithParamInterface<LoadCase> {};

TEST_P(LoadStep, FailsAtEveryCallAndLeavesTheTargetAlone) {
  const LoadCase& row = GetParam();
  std::string path = write("T", kOld);
  int calls = 0;
  for (;; ++calls) {
    SCOPED_TRACE("failing call " + std::to_string(calls + 1));
    platform::fail_step(row.step, calls);
    Target target = load_target(path, row.naming, EncodingKind::plain);
    if (platform::failure_pending(row.step)) break;
    EXPECT_EQ(target.result, row.result);
    EXPECT_FALSE(target.reason.done());
    // A target that did not load is never written back, whatever lines were read.
    platform::clear_failures();
    EXPECT_EQ(write_target(target, {}).result, WriteResult::nothing_to_write);
    EXPECT_EQ(read("T"), kOld);
  }
  EXPECT_GT(calls, 0) << "loading never took this step";
}

INSTANTIATE_TEST_SUITE_P(
    Steps, LoadStep,
    testing::Values(LoadCase{"open_read", Step::open_read, Naming::existing,
                             LoadResult::cannot_open},
                    LoadCase{"read", Step::read, Naming::existing, LoadResult::cannot_read},
                    LoadCase{"close", Step::close, Naming::created, LoadResult::cannot_close},
                    LoadCase{"create", Step::create, Naming::created, LoadResult::cannot_open}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace zeltrim
