// The command line, the help screen with SAMPLE.ZT, the dispatcher's messages and test mode.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "harness.h"
#include "text_util.h"

namespace zeltrim::e2e {
namespace {

const std::string kHelpScreen =
    "This program will edit a text file using instructions presented\n"
    "          in a file in the current directory or explicit path.\n\n"
    "Valid instructions are the following:\n"
    "   .F  is the file you wish to edit.\n"
    "   .G  creates file if it does not exist.\n"
    "   .I  inserts a line at the end of the .F or .G file\n"
    "   .T  inserts a line at the beginning of the .F or .G file\n"
    "   .R  removes a line from the .F or .G file\n"
    "   .A  inserts a line after a given line of the .F file, seperate by ..\n"
    "   .C  concats a string to a PATH= line at the beginning of the line,\n"
    "       seperate by ..\n"
    "   .E  concats a string to a PATH= line at the end of the line, seperate by ..\n"
    "   .U  deletes a string(s) in a line of the .F or .G file, seperate by .\n"
    "   .S  swaps the text of a line with new text, seperate by ..\n"
    "       Note: Include leading spaces when swapping indented lines.\n"
    "   .V  Replaces all variables in a line with a string, seperate by ..\n\n"
    "Anything besides the above commands will be ignored.\n\n"
    "Press Enter for an example.\n"
    "The following is an example of SAMPLE.ZT instruction file.\n\n"
    "       .F C:\\AUTOEXEC.BAT\n"
    "       .S C:\\WINDOWS\\SMARTDRV.EXE.REM C:\\WINDOWS\\SMARTDRV.EXE\n"
    "       .S    INDENT 3 SPACES.    INDENT 4 SPACES\n"
    "       .R DOSKEY\n"
    "       .I SET PATH=C:\n"
    "       .T @ECHO OFF\n"
    "       .A @ECHO OFF.DOSKEY\n"
    "       .C PATH=.C:\\DOS;\n"
    "       .E SET PATH=.C:\\KVATOOLS;\n"
    "       .U PATH=.C:\\WINDOWS;\n"
    "       .V %TCPIP%.192.0.2.10\n\n"
    "Invoke the program by typing - ZELTRIM C:\\YOUR.??? <options>\n"
    "                               ensure the path is correct.\n"
    "                               Options are /t for test mode\n\n"
    "SAMPLE.ZT successfully created.";

const std::string kSampleFile =
    ".F C:\\AUTOEXEC.BAT\r\n"
    ".S C:\\WINDOWS\\SMARTDRV.EXE.REM C:\\WINDOWS\\SMARTDRV.EXE\r\n"
    ".S    INDENT 3 SPACES.    INDENT 4 SPACES\r\n"
    ".R DOSKEY\r\n"
    ".I SET PATH=C:\r\n"
    ".T @ECHO OFF\r\n"
    ".A @ECHO OFF.DOSKEY\r\n"
    ".C PATH=.C:\\DOS;\r\n"
    ".E SET PATH=.C:\\KVATOOLS;\r\n"
    ".U PATH=.C:\\WINDOWS;\r\n"
    ".V %TCPIP%.192.0.2.10\r\n"
    "\r\n"
    "\x1A";

const std::string kTestModeOn = "Invoked in TEST mode \n\n";

struct HelpCase {
  const char* name;
  std::vector<std::string> arguments;
  std::string before_help;  // what is printed between the banner and the help screen
};
void PrintTo(const HelpCase& row, std::ostream* out) { *out << row.name; }

class HelpScreen : public testing::TestWithParam<HelpCase> {};

TEST_P(HelpScreen, PrintsHelpWritesSampleAndEndsWithOne) {
  Scratch folder;
  folder.write("SAMPLE.ZT", "old content that is overwritten without a question");
  folder.write("x.txt", crlf_lines({".F T"}));
  Outcome outcome = run_zeltrim(folder, GetParam().arguments, {.input = "\n"});
  EXPECT_EQ(outcome.out, banner() + GetParam().before_help + kHelpScreen);
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_EQ(folder.read("SAMPLE.ZT"), kSampleFile);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, HelpScreen,
    testing::Values(HelpCase{"no_arguments", {}, ""}, HelpCase{"question_mark", {"?"}, ""},
                    HelpCase{"question_mark_word", {"?help"}, ""},
                    HelpCase{"slash_question_mark", {"/?"}, ""}, HelpCase{"empty", {""}, ""},
                    HelpCase{"help_after_file", {"x.txt", "?"}, ""},
                    HelpCase{"test_mode_before_help", {"x.txt", "/t", "?"}, kTestModeOn}),
    [](const auto& info) { return info.param.name; });

TEST(HelpScreen, ReportsSampleThatCannotBeWritten) {
  Scratch folder;
  mkdir(folder.file("SAMPLE.ZT").c_str(), 0755);  // a folder stands in the way
  Outcome outcome = run_zeltrim(folder, {}, {.input = "\n"});
  std::string expected = kHelpScreen;
  expected.replace(expected.rfind("SAMPLE.ZT successfully created."), std::string::npos,
                   "SAMPLE.ZT not written.\n");
  EXPECT_EQ(outcome.out, banner() + expected);
  EXPECT_EQ(outcome.exit_code, 1);
}

TEST(HelpScreen, SampleRunsAndReportsItsDotSeparatedLines) {
  // The sample separates with "." where real files use 0x02: its two-part lines say so.
  Scratch folder;
  run_zeltrim(folder, {}, {.input = "\n"});
  Outcome outcome = run_zeltrim(folder, {"SAMPLE.ZT"});
  EXPECT_EQ(outcome.out, banner() +
                             "Making changes to C:\\AUTOEXEC.BAT\n\n"
                             "Error opening file C:\\AUTOEXEC.BAT in ZELTRIM.EXE\n" +
                             closing_errors());
  EXPECT_EQ(outcome.exit_code, 2);

  folder.write("AUTOEXEC.BAT", written_plain({"@ECHO OFF", "PATH=C:\\WINDOWS"}));
  std::string sample = folder.read("SAMPLE.ZT");
  sample.replace(0, sample.find("\r\n"), ".F AUTOEXEC.BAT");
  folder.write("local.zt", sample);
  outcome = run_zeltrim(folder, {"local.zt"});
  EXPECT_EQ(outcome.out, banner() +
                             "Making changes to AUTOEXEC.BAT\n\n"
                             "Missing field separator on line 2 - command ignored\n"
                             "Missing field separator on line 3 - command ignored\n"
                             "  BOTTOM line reads          : SET PATH=C:\n"
                             "  TOP line reads             : @ECHO OFF\n"
                             "Missing field separator on line 7 - command ignored\n"
                             "Missing field separator on line 8 - command ignored\n"
                             "Missing field separator on line 9 - command ignored\n"
                             "Missing field separator on line 10 - command ignored\n"
                             "Missing field separator on line 11 - command ignored\n" +
                             closing_success());
  EXPECT_EQ(outcome.exit_code, 0);
}

TEST(CommandLine, MissingInstructionFileEndsWithOne) {
  Scratch folder;
  folder.write("T", "keep\r\n");
  Outcome outcome = run_zeltrim(folder, {"nothing.zt"});
  EXPECT_EQ(outcome.out, banner() + "Could not open file nothing.zt\n");
  EXPECT_EQ(outcome.exit_code, 1);

  // The first argument is the instruction file even when it is /t.
  folder.write("SAMPLE.ZT", crlf_lines({".F T", ".I x"}));
  outcome = run_zeltrim(folder, {"/t", "SAMPLE.ZT"});
  EXPECT_EQ(outcome.out, banner() + kTestModeOn + "Could not open file /t\n");
  EXPECT_EQ(outcome.exit_code, 1);

  // A folder is no instruction file.
  mkdir(folder.file("dir.zt").c_str(), 0755);
  outcome = run_zeltrim(folder, {"dir.zt"});
  EXPECT_EQ(outcome.out, banner() + "Could not open file dir.zt\n");
  EXPECT_EQ(folder.read("T"), "keep\r\n");
}

TEST(CommandLine, LongPathsAreUsedWhole) {
  Scratch folder;
  std::string name(200, 'n');
  std::string target(150, 't');
  folder.write(name, crlf_lines({".G " + target, ".I long path"}));
  Outcome outcome = run_zeltrim(folder, {name});
  EXPECT_EQ(outcome.out, banner() + "Making changes to " + target +
                             "\n"
                             "  BOTTOM line reads          : long path\n" +
                             closing_success());
  EXPECT_EQ(folder.read(target), written_plain({"long path"}));
}

TEST(CommandLine, OnlySlashTInEitherCaseSwitchesTestModeOn) {
  Scratch folder;
  folder.write("i.zt", "REM nothing to do\r\n");
  EXPECT_EQ(run_zeltrim(folder, {"i.zt", "/T"}).out, banner() + kTestModeOn + closing_success());
  EXPECT_EQ(run_zeltrim(folder, {"i.zt", "-t"}).out, banner() + closing_success());
  EXPECT_EQ(run_zeltrim(folder, {"i.zt", "/t", "/t"}).out,
            banner() + kTestModeOn + kTestModeOn + closing_success());
}

struct DispatchCase {
  const char* name;
  std::string instructions;
  std::string report;  // between the banner and the closing message
};
void PrintTo(const DispatchCase& row, std::ostream* out) { *out << row.name; }

class Dispatcher : public testing::TestWithParam<DispatchCase> {};

TEST_P(Dispatcher, Reports) {
  Scratch folder;
  folder.write("T", written_plain({"one"}));
  folder.write("i.zt", GetParam().instructions);
  Outcome outcome = run_zeltrim(folder, {"i.zt"});
  EXPECT_EQ(outcome.out, banner() + GetParam().report + closing_success());
  EXPECT_EQ(outcome.exit_code, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Dispatcher,
    testing::Values(
        DispatchCase{"invalid_letter_names_its_line",
                     crlf_lines({"REM", "", ".F T", "x", "", "", ".X nothing"}),
                     "Making changes to T\n\nInvalid command found on line 7\n"},
        DispatchCase{"lone_dot_is_invalid", crlf_lines({".", ".F T"}),
                     "Invalid command found on line 1\nMaking changes to T\n\n"},
        DispatchCase{"remark_holding_a_command_is_ignored", crlf_lines({"REM .I x"}), ""},
        DispatchCase{"commands_before_a_target_are_skipped", crlf_lines({".I x", ".R one"}), ""},
        DispatchCase{"lower_case_letters", crlf_lines({".f T", ".i two"}),
                     "Making changes to T\n\n  BOTTOM line reads          : two\n"},
        DispatchCase{"short_lines_have_an_empty_argument", crlf_lines({".F T", ".I", ".i "}),
                     "Making changes to T\n\n  BOTTOM line reads          : \n"
                     "  BOTTOM line reads          : \n"},
        DispatchCase{"third_byte_is_skipped_whatever_it_is", crlf_lines({".F T", ".Ixtwo"}),
                     "Making changes to T\n\n  BOTTOM line reads          : two\n"},
        DispatchCase{"line_with_zero_byte_is_not_carried_out",
                     std::string(".F T\r\n.I a\0b\r\nx\0.I c\r\n", 22),
                     "Making changes to T\n\nInvalid command found on line 2\n"},
        DispatchCase{"end_mark_line_is_ignored", crlf_lines({".F T", "\x1A"}),
                     "Making changes to T\n\n"},
        DispatchCase{"last_line_without_break", ".F T\r\n.I end",
                     "Making changes to T\n\n  BOTTOM line reads          : end\n"}),
    [](const auto& info) { return info.param.name; });

TEST(Dispatcher, LongLinesAreOneLineAndCountedOnce) {
  Scratch folder;
  folder.write("T", written_plain({"one"}));
  std::string long_text(5000, 'L');
  folder.write("i.zt", crlf_lines({".F T", ".I " + long_text, ".Q"}));
  Outcome outcome = run_zeltrim(folder, {"i.zt"});
  EXPECT_EQ(outcome.out, banner() + "Making changes to T\n\n  BOTTOM line reads          : " +
                             long_text + "\nInvalid command found on line 3\n" + closing_success());
  EXPECT_EQ(folder.read("T"), written_plain({"one", long_text}));
}

TEST(TestMode, TracesEveryCommandLineAndWaitsAfterIt) {
  Scratch folder;
  folder.write("T", written_plain({"one"}));
  folder.write("i.zt", crlf_lines({".F T", "REM", ".I two", ".Z"}));
  // The waits read standard input; a piped run must not block on the key waits.
  Outcome outcome = run_zeltrim(folder, {"i.zt", "/t"}, {.input = "\n\n\n"});
  EXPECT_EQ(outcome.out, banner() + kTestModeOn + traced_load("T") +
                             "TEST MODE: operation is .I two\n\n"
                             "  BOTTOM line reads          : two\n"
                             "TEST MODE: end of .I two operation\n\n"
                             "TEST MODE: Press ENTER to continue...\n\n"
                             "TEST MODE: operation is .Z\n\n"
                             "Invalid command found on line 4\n"
                             "TEST MODE: end of .Z operation\n\n"
                             "TEST MODE: Press ENTER to continue...\n\n"
                             "TEST MODE: stored: one\n"
                             "TEST MODE: stored: two\n" +
                             closing_success());
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(folder.read("T"), written_plain({"one", "two"}));
}

TEST(TestMode, TargetThatWouldNotChangeIsTracedButNotRewritten) {
  Scratch folder;
  folder.write("T", written_plain({"one"}));
  folder.write("i.zt", crlf_lines({".F T"}));
  struct stat before;
  stat(folder.file("T").c_str(), &before);
  Outcome outcome = run_zeltrim(folder, {"i.zt", "/T"}, {.input = "\n"});
  EXPECT_EQ(outcome.out, banner() + kTestModeOn + traced_load("T") + "TEST MODE: stored: one\n" +
                             closing_success());
  struct stat after;
  stat(folder.file("T").c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST(TestMode, EndOfInputDoesNotHang) {
  Scratch folder;
  folder.write("T", written_plain({"one"}));
  folder.write("i.zt", crlf_lines({".F T", ".S one{02}two", ".C A={02}x", ".V o{02}0"}));
  Outcome outcome = run_zeltrim(folder, {"i.zt", "/t"});
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(folder.read("T"), written_plain({"tw0"}));
}

}  // namespace
}  // namespace zeltrim::e2e
