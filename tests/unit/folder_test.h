// A fixture for tests that load and write real files: a fresh folder (in memory where the
// system has one, so syncs cost nothing), removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zeltrim {

class FolderTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                     ? std::filesystem::path("/dev/shm")
                                     : std::filesystem::temp_directory_path();
    folder_ = (base / "zeltrim-unit-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder_.data()), nullptr);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string path(const std::string& name) const { return folder_ + "/" + name; }
  std::string write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path(name), std::ios::binary | std::ios::trunc) << bytes;
    return path(name);
  }
  std::string read(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::vector<std::string> names() const {  // in the order the folder lists them
    std::vector<std::string> all;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      all.push_back(entry.path().filename().string());
    }
    return all;
  }

  std::string folder_;
};

}  // namespace zeltrim
