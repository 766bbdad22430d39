// Write-back never loses data: the target is replaced whole or not at all, keeps its
// permissions, owner and links, and every failure says so and leaves the file as it was.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "harness.h"
#include "text_util.h"

namespace zeltrim::e2e {
namespace {

struct stat stat_of(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
  return info;
}

const std::string kOriginal = written_plain({"@ECHO OFF", "PATH=C:\\DOS"});
const std::string kChanged = written_plain({"@ECHO OFF", "PATH=C:\\DOS", "X"});

Outcome add_line(const Scratch& folder, const std::string& target, RunOptions options = {}) {
  folder.write("i.zt", crlf_lines({".F " + target, ".I X"}));
  return run_zeltrim(folder, {"i.zt"}, options);
}

TEST(WriteBack, UnchangedFileIsNotTouched) {
  Scratch folder;
  folder.write("T", kOriginal);
  link(folder.file("T").c_str(), folder.file("second-link").c_str());
  struct stat before = stat_of(folder.file("T"));
  folder.write("i.zt", crlf_lines({".F T", ".S nothing{02}matches"}));
  Outcome outcome = run_zeltrim(folder, {"i.zt"});
  EXPECT_EQ(outcome.exit_code, 0);
  struct stat after = stat_of(folder.file("T"));
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(after.st_nlink, 2u);
}

TEST(WriteBack, ReplacementKeepsPermissionsAndOwner) {
  if (program_is_windows()) GTEST_SKIP() << "POSIX permission bits and owners";
  Scratch folder;
  folder.write("T", kOriginal);
  chmod(folder.file("T").c_str(), 0640);
  bool as_root = geteuid() == 0;
  struct passwd* nobody = getpwnam("nobody");
  if (as_root && nobody != nullptr) {
    ASSERT_EQ(chown(folder.file("T").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  }
  struct stat before = stat_of(folder.file("T"));
  Outcome outcome = add_line(folder, "T");
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(folder.read("T"), kChanged);
  struct stat after = stat_of(folder.file("T"));
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"T", "i.zt"}));
}

TEST(WriteBack, ReplacementKeepsWindowsAttributes) {
  if (!program_is_windows()) GTEST_SKIP() << "Windows file attributes";
  Scratch folder;
  folder.write("T", kOriginal);
  // One attribute per call: some versions of the tool take only the first of several.
  for (const char* attribute : {"+h", "+s"}) run_windows_tool(folder, {"attrib", attribute, "T"});
  auto attributes = [&] {
    std::string listing = run_windows_tool(folder, {"attrib", "T"}).out;
    return listing.substr(0, listing.find(':') - 1);  // the letters before the drive
  };
  ASSERT_NE(attributes().find('H'), std::string::npos);
  Outcome outcome = add_line(folder, "T");
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(folder.read("T"), kChanged);
  std::string after = attributes();
  EXPECT_NE(after.find('H'), std::string::npos) << after;
  EXPECT_NE(after.find('S'), std::string::npos) << after;
  EXPECT_NE(after.find('A'), std::string::npos) << after;
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"T", "i.zt"}));
}

TEST(WriteBack, SymbolicLinkStaysALinkAndItsFileIsEdited) {
  if (program_is_windows()) GTEST_SKIP() << "symbolic links are followed on POSIX only";
  Scratch folder;
  mkdir(folder.file("real").c_str(), 0755);
  folder.write("real/T", kOriginal);
  ASSERT_EQ(symlink("real/T", folder.file("link").c_str()), 0);
  Outcome outcome = add_line(folder, "link");
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_TRUE(S_ISLNK(stat_of(folder.file("link")).st_mode));
  EXPECT_EQ(folder.read("real/T"), kChanged);
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"i.zt", "link", "real"}));
}

TEST(WriteBack, HardLinkedTargetIsReplacedOnlyUnderItsOwnName) {
  // The new content takes the target's name; another name of the old file keeps the old bytes.
  Scratch folder;
  folder.write("T", kOriginal);
  ASSERT_EQ(link(folder.file("T").c_str(), folder.file("other").c_str()), 0);
  EXPECT_EQ(add_line(folder, "T").exit_code, 0);
  EXPECT_EQ(folder.read("T"), kChanged);
  EXPECT_EQ(folder.read("other"), kOriginal);
}

TEST(WriteBack, FullDiskLeavesTargetUnchanged) {
  // Under wine the limit would also bind the server process that the loader may start.
  if (program_is_windows()) GTEST_SKIP() << "a file-size limit binds the loader's server too";
  Scratch folder;
  folder.write("T", kOriginal);
  folder.write("i.zt", crlf_lines({".F T", ".I " + std::string(4000, 'x')}));
  Outcome outcome = run_zeltrim(folder, {"i.zt"}, {.file_size_limit = 1024});
  EXPECT_EQ(outcome.out, banner() + "Making changes to T\n\n  BOTTOM line reads          : " +
                             std::string(4000, 'x') + "\nError writing T, file left unchanged\n" +
                             closing_errors());
  EXPECT_EQ(outcome.exit_code, 2);
  EXPECT_EQ(folder.read("T"), kOriginal);
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"T", "i.zt"}));
}

TEST(Loading, TargetsThatAreNotFilesAreRefusedWithoutHanging) {
  Scratch folder;
  mkdir(folder.file("dir").c_str(), 0755);
  ASSERT_EQ(mkfifo(folder.file("fifo").c_str(), 0644), 0);
  folder.write("i.zt", crlf_lines({".F dir", ".I X", ".F fifo", ".I X", ".G fifo", ".I X"}));
  Outcome outcome = run_zeltrim(folder, {"i.zt"});
  EXPECT_EQ(outcome.out, banner() +
                             "Making changes to dir\n\n"
                             "Error opening file dir in ZELTRIM.EXE\n"
                             "Making changes to fifo\n\n"
                             "Error opening file fifo in ZELTRIM.EXE\n"
                             "Making changes to fifo\n"
                             "Error opening file fifo in ZELTRIM.EXE\n" +
                             closing_errors());
  EXPECT_EQ(outcome.exit_code, 2);
}

TEST(Memory, ExhaustionEndsTheRunAndLeavesTheTargetAlone) {
  if (!resource_limits_apply()) {
    GTEST_SKIP() << "no memory limit under a sanitizer, valgrind or a Windows loader";
  }
  // The first target is written back before the second loads; only the second is left alone.
  Scratch folder;
  std::string big;
  for (int i = 0; i < 2'000'000; ++i)
    big += "SET VARIABLE=SOME VALUE " + std::to_string(i) + "\r\n";
  big += "\x1A";
  folder.write("S", kOriginal);
  folder.write("T", big);
  folder.write("i.zt", crlf_lines({".F S", ".I X", ".F T", ".I X"}));
  Outcome outcome = run_zeltrim(folder, {"i.zt"}, {.memory_limit = 64ll << 20});
  EXPECT_EQ(outcome.out, banner() + "Making changes to S\n\n  BOTTOM line reads          : X\n" +
                             "Making changes to T\n\nError - Out of Memory - Program ending.\n");
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_EQ(folder.read("S"), kChanged);
  EXPECT_EQ(folder.read("T"), big);
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"S", "T", "i.zt"}));
}

}  // namespace
}  // namespace zeltrim::e2e
