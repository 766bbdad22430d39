// Every step of loading and writing back a target, made to fail on purpose at each of its calls:
// the message names the file, the result says so, the target keeps its bytes (or, once the new
// content is in place, holds it whole) and no temporary file is left.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "folder_test.h"
#include "lines/line_list.h"
#include "platform/console.h"
#include "platform/faults.h"
#include "target/target_file.h"

namespace zeltrim {
namespace {

using platform::Step;

const std::string kOld = "A\r\nB\r\n\x1A";
const std::string kNew = "A\r\nB\r\nX\r\n\x1A";

// A fresh folder holding the target T.
class FaultSteps : public FolderTest {
 protected:
  void SetUp() override {
    FolderTest::SetUp();
    target_ = folder_ + "/T";
    write(kOld);
  }

  void write(const std::string& bytes) const {
    std::ofstream(target_, std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string read() const {
    std::ifstream in(target_, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  std::vector<std::string> names() const {
    std::vector<std::string> all;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      all.push_back(entry.path().filename().string());
    }
    return all;
  }
  std::size_t line_count() const {
    std::size_t count = 0;
    for (const LineEntry* entry = line_list_head(); entry != nullptr; entry = entry->next) ++count;
    return count;
  }

  std::string target_;
};

// Runs `operation` with standard output captured; gives back what it printed.
template <typename Operation>
std::string printed_by(Operation&& operation) {
  platform::flush_output();
  testing::internal::CaptureStdout();
  operation();
  platform::flush_output();
  return testing::internal::GetCapturedStdout();
}

struct StepCase {
  const char* name;
  Step step;
  std::string message;  // %s stands for the target's path
  int result;
  bool new_content;  // the target holds the new content afterwards (else its old bytes)
};
void PrintTo(const StepCase& row, std::ostream* out) { *out << row.name; }

std::string with_path(std::string message, const std::string& path) {
  for (std::size_t at = message.find("%s"); at != std::string::npos; at = message.find("%s", at)) {
    message.replace(at, 2, path);
    at += path.size();
  }
  return message;
}

class WriteBackStep : public FaultSteps, public testing::WithParamInterface<StepCase> {};

TEST_P(WriteBackStep, FailsAtEveryCallWithoutLosingTheTarget) {
  const StepCase& row = GetParam();
  int calls = 0;
  for (;; ++calls) {
    SCOPED_TRACE("failing call " + std::to_string(calls + 1));
    write(kOld);
    reset();
    ASSERT_EQ(get_target_file(target_, 0), 1);
    add_bottom(new_line_entry("X"));
    platform::fail_step(row.step, calls);
    int result = -1;
    std::string out = printed_by([&] { result = put_target_file(target_); });
    if (platform::failure_pending(row.step)) break;  // the write-back made fewer calls
    EXPECT_EQ(out, with_path(row.message, target_));
    EXPECT_EQ(result, row.result);
    EXPECT_EQ(read(), row.new_content ? kNew : kOld);
    EXPECT_EQ(names(), std::vector<std::string>{"T"});
  }
  EXPECT_GT(calls, 0) << "the write-back never took this step";
}

const std::string kErrorWriting = "Error writing %s, file left unchanged\n";

INSTANTIATE_TEST_SUITE_P(
    Steps, WriteBackStep,
    testing::Values(
        // The look at the old content only spares an unchanged file; when it fails, the file
        // is written anyway.
        StepCase{"open_read", Step::open_read, "", 1, true},
        StepCase{"read", Step::read, "", 1, true},
        StepCase{"create_temp", Step::create_temp,
                 "Error opening %s\nNo temporary file can be made beside %s: the changes were "
                 "not written, file left unchanged\n",
                 0, false},
        StepCase{"write", Step::write, kErrorWriting, 0, false},
        StepCase{"sync", Step::sync, kErrorWriting, 0, false},
        StepCase{"close", Step::close, kErrorWriting, 0, false},
        StepCase{"rename", Step::rename, kErrorWriting, 0, false},
        StepCase{"sync_folder", Step::sync_folder,
                 "Error syncing the folder of %s: the new content is in place but may not "
                 "survive a power failure\n",
                 0, true}),
    [](const auto& info) { return info.param.name; });

TEST_F(FaultSteps, WriteBackOfALargeTargetFailsAtEveryWrite) {
  // Large enough to be written in several pieces: a failure at any of them keeps the target.
  std::string large;
  for (int i = 0; i < 200'000; ++i) large += "SET LINE=" + std::to_string(i) + "\r\n";
  large += "\x1A";
  int calls = 0;
  for (;; ++calls) {
    write(large);
    reset();
    ASSERT_EQ(get_target_file(target_, 0), 1);
    add_top(new_line_entry("X"));
    platform::fail_step(Step::write, calls);
    int result = -1;
    std::string out = printed_by([&] { result = put_target_file(target_); });
    if (platform::failure_pending(Step::write)) break;
    EXPECT_EQ(out, with_path(kErrorWriting, target_));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(read(), large);
    EXPECT_EQ(names(), std::vector<std::string>{"T"});
  }
  EXPECT_GT(calls, 1);
}

struct LoadCase {
  const char* name;
  Step step;
  std::string message;
  std::size_t lines_kept;  // entries left in the list
};
void PrintTo(const LoadCase& row, std::ostream* out) { *out << row.name; }

class LoadStep : public FaultSteps, public testing::WithParamInterface<LoadCase> {};

TEST_P(LoadStep, FailsAtEveryCallAndLeavesTheTargetAlone) {
  const LoadCase& row = GetParam();
  int calls = 0;
  for (;; ++calls) {
    SCOPED_TRACE("failing call " + std::to_string(calls + 1));
    reset();
    platform::fail_step(row.step, calls);
    int result = -1;
    std::string out = printed_by([&] { result = get_target_file(target_, 0); });
    if (platform::failure_pending(row.step)) break;
    EXPECT_EQ(out, with_path(row.message, target_));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(line_count(), row.lines_kept);
    EXPECT_EQ(read(), kOld);
  }
  EXPECT_GT(calls, 0) << "loading never took this step";
}

INSTANTIATE_TEST_SUITE_P(
    Steps, LoadStep,
    testing::Values(
        LoadCase{"open_read", Step::open_read, "Error opening file %s in ZELTRIM.EXE\n", 0},
        LoadCase{"read", Step::read, "Error reading file %s in ZELTRIM.EXE, file left unchanged\n",
                 0},
        // Every line was read before the close failed; they stay, as the run writes them back.
        LoadCase{"close", Step::close, "Error closing file %s in ZELTRIM.EXE\n", 2}),
    [](const auto& info) { return info.param.name; });

TEST_F(FaultSteps, FailedLoadIsNeverTakenForAnotherEncoding) {
  // Whatever step of loading fails, a UTF-8 target is loaded as UTF-8 or not at all: its mark
  // never becomes part of a line of a plain file.
  write(
      "\xEF\xBB\xBF"
      "A\r\n");
  for (Step step : {Step::open_read, Step::read}) {
    for (int calls = 0;; ++calls) {
      reset();
      platform::fail_step(step, calls);
      int result = 0;
      printed_by([&] { result = get_target_file(target_, 0); });
      if (platform::failure_pending(step)) break;
      if (result == 1) {
        EXPECT_EQ(encoding_kind(), EncodingKind::utf8);
        ASSERT_NE(line_list_head(), nullptr);
        EXPECT_EQ(line_list_head()->text(), "A");
      }
    }
  }
}

TEST_F(FaultSteps, CreatingATargetThatCannotBeMadeIsReported) {
  platform::fail_step(Step::create);
  int result = -1;
  std::string out = printed_by([&] { result = get_target_file(target_, 1); });
  EXPECT_EQ(out, with_path("Error opening file %s in ZELTRIM.EXE\n", target_));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(read(), kOld);
}

}  // namespace
}  // namespace zeltrim
