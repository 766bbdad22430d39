// What only the Windows program does: paths with drive letters and backslashes, devices that
// are no targets, and standard output in text mode. These run against zeltrim.exe under wine.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "harness.h"
#include "text_util.h"

namespace zeltrim::e2e {
namespace {

const std::string kOriginal = written_plain({"@ECHO OFF"});

TEST(Windows, DriveLettersAndBackslashesReachTheFileSystem) {
  if (!program_is_windows()) GTEST_SKIP() << "Windows paths";
  Scratch folder;
  mkdir(folder.file("DOS").c_str(), 0755);
  folder.write("DOS/AUTOEXEC.BAT", kOriginal);
  // wine shows the root of the Linux file system as drive Z:.
  std::string absolute = "Z:" + folder.file("DOS/AUTOEXEC.BAT");
  std::replace(absolute.begin(), absolute.end(), '/', '\\');
  folder.write("i.zt", crlf_lines({".F DOS\\AUTOEXEC.BAT", ".I X", ".F " + absolute, ".I Y"}));
  Outcome outcome = run_zeltrim(folder, {"i.zt"});
  EXPECT_EQ(outcome.out, banner() + "Making changes to DOS\\AUTOEXEC.BAT\n\n" +
                             "  BOTTOM line reads          : X\n" + "Making changes to " +
                             absolute + "\n\n" + "  BOTTOM line reads          : Y\n" +
                             closing_success());
  EXPECT_EQ(folder.read("DOS/AUTOEXEC.BAT"), written_plain({"@ECHO OFF", "X", "Y"}));
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"DOS", "i.zt"}));
}

TEST(Windows, DevicesAndFoldersAreNoTargets) {
  if (!program_is_windows()) GTEST_SKIP() << "Windows device names";
  Scratch folder;
  mkdir(folder.file("dir").c_str(), 0755);
  folder.write("i.zt", crlf_lines({".F NUL", ".I X", ".G NUL", ".I X", ".G dir", ".I X"}));
  Outcome outcome = run_zeltrim(folder, {"i.zt"});
  EXPECT_EQ(outcome.out, banner() +
                             "Making changes to NUL\n\nError opening file NUL in ZELTRIM.EXE\n"
                             "Making changes to NUL\nError opening file NUL in ZELTRIM.EXE\n"
                             "Making changes to dir\nError opening file dir in ZELTRIM.EXE\n" +
                             closing_errors());
  EXPECT_EQ(outcome.exit_code, 2);
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"dir", "i.zt"}));
}

TEST(Windows, StandardOutputIsInTextModeAndTargetsInBinary) {
  if (!program_is_windows()) GTEST_SKIP() << "text-mode standard output";
  Scratch folder;
  folder.write("T", kOriginal);
  folder.write("i.zt", crlf_lines({".F T", ".I X"}));
  Outcome outcome = run_zeltrim(folder, {"i.zt"});
  std::string text_mode;
  for (char byte : outcome.out)
    text_mode += byte == '\n' ? std::string("\r\n") : std::string(1, byte);
  EXPECT_EQ(outcome.raw_out, text_mode);
  EXPECT_EQ(folder.read("T"), written_plain({"@ECHO OFF", "X"}));
}

}  // namespace
}  // namespace zeltrim::e2e
