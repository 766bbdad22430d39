// A fixture for tests that load and write real files: a fresh folder, removed afterwards, and
// the process-wide state (line list, encoding kind, armed failures) reset before and after.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "lines/line_list.h"
#include "platform/faults.h"
#include "target/target_file.h"

namespace zeltrim {

class FolderTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "zeltrim-unit-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    reset();
  }
  void TearDown() override {
    reset();
    std::filesystem::remove_all(folder_);
  }
  static void reset() {
    platform::clear_failures();
    free_line_list();
    set_encoding_kind(EncodingKind::plain);
  }

  std::string folder_;
};

}  // namespace zeltrim
