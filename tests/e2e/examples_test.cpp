// The examples gallery: every folder under examples/ is a job with its instruction file (*.ZT),
// the files it edits, and in expected/ the files as the job leaves them and the report it prints
// (report.txt). Each is run and compared byte for byte, so the gallery cannot drift from the
// program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "harness.h"

namespace zeltrim::e2e {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kExpectedFolder = "expected";
constexpr std::string_view kReport = "report.txt";
constexpr std::string_view kNotes = "README.md";

fs::path gallery_folder() { return fs::path(ZELTRIM_SOURCE_DIR) / "examples"; }

std::vector<fs::path> example_folders() {
  std::vector<fs::path> folders;
  std::error_code missing;
  for (const auto& entry : fs::directory_iterator(gallery_folder(), missing)) {
    if (entry.is_directory() && fs::exists(entry.path() / kExpectedFolder)) {
      folders.push_back(entry.path());
    }
  }
  std::sort(folders.begin(), folders.end());
  return folders;
}

std::string bytes_of(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The files of a folder (not its subfolders), by name.
std::vector<std::string> files_in(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class Gallery : public testing::TestWithParam<fs::path> {};

TEST_P(Gallery, GivesTheExpectedReportAndFiles) {
  const fs::path& example = GetParam();
  const fs::path expected = example / kExpectedFolder;
  Scratch folder;
  std::vector<std::string> given;
  std::vector<std::string> instruction_files;
  for (const std::string& name : files_in(example)) {
    if (name == kNotes) continue;
    given.push_back(name);
    folder.write(name, bytes_of(example / name));
    if (name.ends_with(".ZT")) instruction_files.push_back(name);
  }
  ASSERT_EQ(instruction_files.size(), 1u) << "one instruction file (*.ZT) per example";

  Outcome outcome = run_zeltrim(folder, {instruction_files.front()});
  std::string report = bytes_of(expected / kReport);
  EXPECT_EQ(outcome.out, report);
  EXPECT_EQ(outcome.exit_code, report.ends_with(closing_success()) ? 0 : 2);

  std::set<std::string> left(given.begin(), given.end());
  for (const std::string& name : files_in(expected)) {
    if (name == kReport) continue;
    EXPECT_EQ(folder.read(name), bytes_of(expected / name)) << name;
    left.insert(name);
  }
  for (const std::string& name : given) {
    if (!fs::exists(expected / name)) {
      EXPECT_EQ(folder.read(name), bytes_of(example / name)) << name << " must stay as it was";
    }
  }
  // Nothing else, no temporary file in particular, is left behind.
  EXPECT_EQ(folder.names(), std::vector<std::string>(left.begin(), left.end()));
}

INSTANTIATE_TEST_SUITE_P(Examples, Gallery, testing::ValuesIn(example_folders()),
                         [](const auto& info) {
                           std::string name = info.param.filename().string();
                           std::replace_if(
                               name.begin(), name.end(),
                               [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
                               '_');
                           return name;
                         });

TEST(Gallery, HoldsEveryJob) {
  // A gallery that went missing must not pass as a gallery of nothing.
  EXPECT_GE(example_folders().size(), 6u) << gallery_folder();
}

}  // namespace
}  // namespace zeltrim::e2e
