// Every step of loading and writing back a target, made to fail on purpose at each of its calls:
// the result says so and carries the reason, the target keeps its bytes (or, once the new content
// is in place, holds it whole) and no temporary file is left.
#include <gtest/gtest.h>

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
  target.lines.push_back(text_line("X"));
  target.held_lines = true;
  return target;
}

struct WriteCase {
  const char* name;
  Step step;
  WriteResult result;
  bool new_content;  // the target holds the new content afterwards (else its old bytes)
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
      WriteOutcome outcome = write_target(target);
      if (platform::failure_pending(row.step)) break;  // the write-back made fewer calls
      EXPECT_EQ(outcome.result, row.result);
      EXPECT_EQ(outcome.reason.done(), row.result == WriteResult::written);
      EXPECT_EQ(read("T"), row.new_content ? old.substr(0, old.size() - 1) + "X\r\n\x1A" : old);
      EXPECT_EQ(names(), std::vector<std::string>{"T"});
    }
    EXPECT_GT(calls, 0) << "the write-back never took this step";
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Steps, WriteBackStep,
    testing::Values(
        // The look at the old content only spares an unchanged file; when it fails, the file
        // is written anyway.
        WriteCase{"open_read", Step::open_read, WriteResult::written, true},
        WriteCase{"read", Step::read, WriteResult::written, true},
        WriteCase{"create_temp", Step::create_temp, WriteResult::no_temp_file, false},
        WriteCase{"write", Step::write, WriteResult::cannot_write, false},
        WriteCase{"sync", Step::sync, WriteResult::cannot_write, false},
        WriteCase{"close", Step::close, WriteResult::cannot_write, false},
        WriteCase{"rename", Step::rename, WriteResult::cannot_write, false},
        WriteCase{"sync_folder", Step::sync_folder, WriteResult::not_durable, true}),
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
    EXPECT_EQ(write_target(target).result, WriteResult::nothing_to_write);
    EXPECT_EQ(read("T"), kOld);
  }
  EXPECT_GT(calls, 0) << "loading never took this step";
}

INSTANTIATE_TEST_SUITE_P(
    Steps, LoadStep,
    testing::Values(LoadCase{"open_read", Step::open_read, Naming::existing,
                             LoadResult::cannot_open},
                    LoadCase{"read", Step::read, Naming::existing, LoadResult::cannot_read},
                    LoadCase{"close", Step::close, Naming::existing, LoadResult::cannot_close},
                    LoadCase{"create", Step::create, Naming::created, LoadResult::cannot_open}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace zeltrim
