// Every command, table-driven and grouped by command: the instruction lines after ".F T", the
// target's lines before, the report lines printed, and the target's lines after.
#include <gtest/gtest.h>

#include "harness.h"
#include "text_util.h"

namespace zeltrim::e2e {
namespace {

using namespace std::string_literals;

struct CommandCase {
  const char* name;
  std::vector<std::string> before;    // the target's lines, written CR LF with the end mark
  std::vector<std::string> commands;  // after ".F T"; {02} is the field separator
  std::string report;                 // after "Making changes to T\n\n"
  std::vector<std::string> after;     // the target's lines afterwards
};
void PrintTo(const CommandCase& row, std::ostream* out) { *out << row.name; }

std::string plain_target(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const std::string& line : lines) bytes += line + "\r\n";
  return bytes + "\x1A";
}

class Commands : public testing::TestWithParam<CommandCase> {};

TEST_P(Commands, ChangeAndReport) {
  const CommandCase& row = GetParam();
  Scratch folder;
  folder.write("T", plain_target(row.before));
  std::string instructions = ".F T\r\n";
  for (const std::string& command : row.commands) instructions += sep(command) + "\r\n";
  folder.write("i.zt", instructions);
  Outcome outcome = run_zeltrim(folder, {"i.zt"});
  EXPECT_EQ(outcome.out, banner() + "Making changes to T\n\n" + row.report + closing_success());
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(folder.read("T"), plain_target(row.after));
}

const std::string kDosMissing = "Missing field separator on line 2 - command ignored\n";

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    AddLine, Commands,
    testing::Values(
        CommandCase{"bottom_and_top", {"A"}, {".I Z", ".T Y", ".T X"},
                    "  BOTTOM line reads          : Z\n"
                    "  TOP line reads             : Y\n"
                    "  TOP line reads             : X\n",
                    {"X", "Y", "A", "Z"}},
        CommandCase{"text_kept_as_written", {}, {".I   two  spaces {02}. ", ".T"},
                    "  BOTTOM line reads          :   two  spaces \x02. \n"
                    "  TOP line reads             : \n",
                    {"", "  two  spaces \x02. "}}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Remove, Commands,
    testing::Values(
        CommandCase{"every_match_letter_case_aside", {"DOSKEY", "DosKey", "DOSKEY /X"},
                    {".R doskey"},
                    "  REMOVED line that read     : doskey\n"
                    "  REMOVED line that read     : doskey\n",
                    {"DOSKEY /X"}},
        CommandCase{"no_match_prints_nothing", {"A"}, {".R B"}, "", {"A"}},
        CommandCase{"only_ascii_letters_fold", {"CAF\xC9"}, {".R caf\xE9"}, "", {"CAF\xC9"}},
        // Blank lines never match; a text line made empty does.
        CommandCase{"blank_lines_stay_empty_texts_go", {"A", "", "B"}, {".I", ".R"},
                    "  BOTTOM line reads          : \n"
                    "  REMOVED line that read     : \n",
                    {"A", "", "B"}},
        CommandCase{"removed_lines_are_never_matched_again", {"A", "B"}, {".R a", ".R A", ".S A{02}C"},
                    "  REMOVED line that read     : a\n", {"B"}}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    AppendAfter, Commands,
    testing::Values(
        CommandCase{"after_every_match", {"X", "A", "X", "X"}, {".A X{02}new"},
                    "  APPEND AFTER line reads    : new\n"
                    "  APPEND AFTER line reads    : new\n"
                    "  APPEND AFTER line reads    : new\n",
                    {"X", "new", "A", "X", "new", "X", "new"}},
        CommandCase{"inserted_lines_are_not_examined", {"X", "X"}, {".A X{02}X"},
                    "  APPEND AFTER line reads    : X\n"
                    "  APPEND AFTER line reads    : X\n",
                    {"X", "X", "X", "X"}},
        CommandCase{"after_last_line_then_bottom", {"A", "Z"}, {".A Z{02}Y", ".I END"},
                    "  APPEND AFTER line reads    : Y\n"
                    "  BOTTOM line reads          : END\n",
                    {"A", "Z", "Y", "END"}},
        CommandCase{"letter_case_counts", {"@ECHO OFF"}, {".A @echo off{02}X"}, "",
                    {"@ECHO OFF"}},
        CommandCase{"leading_separators_skipped_later_ones_kept", {"A"},
                    {".A {02}{02}A{02}B{02}C."},
                    "  APPEND AFTER line reads    : B\x02" "C.\n",
                    {"A", "B\x02" "C."}},
        CommandCase{"no_separator", {"A"}, {".A A.B"}, kDosMissing, {"A"}},
        CommandCase{"nothing_after_separator", {"A"}, {".A A{02}"}, kDosMissing, {"A"}},
        CommandCase{"only_separators", {"A"}, {".A {02}{02}"}, kDosMissing, {"A"}}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Swap, Commands,
    testing::Values(
        CommandCase{"leading_spaces_count", {"   INDENT 3 SPACES", "    INDENT 3 SPACES"},
                    {".S    INDENT 3 SPACES{02}    INDENT 4 SPACES"},
                    "  SWAPPED line now reads     :     INDENT 4 SPACES\n",
                    {"    INDENT 4 SPACES", "    INDENT 3 SPACES"}},
        CommandCase{"every_match_and_final_dot_kept", {"SMARTDRV", "x", "SMARTDRV"},
                    {".S SMARTDRV{02}REM SMARTDRV."},
                    "  SWAPPED line now reads     : REM SMARTDRV.\n"
                    "  SWAPPED line now reads     : REM SMARTDRV.\n",
                    {"REM SMARTDRV.", "x", "REM SMARTDRV."}},
        CommandCase{"letter_case_counts", {"DOSKEY"}, {".S doskey{02}X"}, "", {"DOSKEY"}},
        CommandCase{"missing_part", {"A"}, {".S A"}, kDosMissing, {"A"}}),
    [](const auto& info) { return info.param.name; });

// The worked example of .C and .E: key PATH=, addition C:\DOS;.
const std::vector<std::string> kAssignments = {
    "PATH=C:\\WINDOWS;", "path=C:\\BIN", "SET PATH=C:\\WINDOWS", "PATH =C:\\BIN", "PATH",
    "PATH=", "==PATH=A=B", ""};

INSTANTIATE_TEST_SUITE_P(
    Concat, Commands,
    testing::Values(
        CommandCase{"at_beginning", kAssignments, {".C PATH={02}C:\\DOS;"},
                    "  CONCAT line now reads      : PATH=C:\\DOS;C:\\WINDOWS;\n"
                    "  CONCAT line now reads      : PATH=C:\\DOS;C:\\BIN\n"
                    "  CONCAT line now reads      : PATH=C:\\DOS; \n"
                    "  CONCAT line now reads      : PATH=C:\\DOS; \n"
                    "  CONCAT line now reads      : PATH=C:\\DOS;A=B\n",
                    {"PATH=C:\\DOS;C:\\WINDOWS;", "PATH=C:\\DOS;C:\\BIN", "SET PATH=C:\\WINDOWS",
                     "PATH =C:\\BIN", "PATH=C:\\DOS; ", "PATH=C:\\DOS; ", "PATH=C:\\DOS;A=B",
                     ""}},
        CommandCase{"at_end", kAssignments, {".E PATH={02}C:\\DOS;"},
                    "  CONCAT line now reads      : PATH=C:\\WINDOWS;C:\\DOS;\n"
                    "  CONCAT line now reads      : PATH=C:\\BINC:\\DOS;\n"
                    "  CONCAT line now reads      : PATH= C:\\DOS;\n"
                    "  CONCAT line now reads      : PATH= C:\\DOS;\n"
                    "  CONCAT line now reads      : PATH=A=BC:\\DOS;\n",
                    {"PATH=C:\\WINDOWS;C:\\DOS;", "PATH=C:\\BINC:\\DOS;", "SET PATH=C:\\WINDOWS",
                     "PATH =C:\\BIN", "PATH= C:\\DOS;", "PATH= C:\\DOS;", "PATH=A=BC:\\DOS;", ""}},
        CommandCase{"key_letter_case_replaces_the_lines",
                    {"PATH=C:\\X", "set path=C:\\WINDOWS;"},
                    {".C path={02}A;", ".E SET PATH={02}C:\\UTIL;."},
                    "  CONCAT line now reads      : path=A;C:\\X\n"
                    "  CONCAT line now reads      : SET PATH=C:\\WINDOWS;C:\\UTIL;\n",
                    {"path=A;C:\\X", "SET PATH=C:\\WINDOWS;C:\\UTIL;"}},
        // Lines that are empty or only "=" have no key, so not even the key "=" matches them.
        CommandCase{"keys_that_match_nothing", {"PATH=X", "A=B=C", "=X", "=="},
                    {".I", ".E PATH{02}1", ".E A=B={02}2", ".E =PATH={02}3", ".E PATH= {02}4",
                     ".E ={02}5"},
                    "  BOTTOM line reads          : \n", {"PATH=X", "A=B=C", "=X", "==", ""}},
        CommandCase{"long_lines_are_kept_whole", {"PATH=" + std::string(1500, 'p')},
                    {".E PATH={02}" + std::string(1500, 'e')},
                    "  CONCAT line now reads      : PATH=" + std::string(1500, 'p') +
                        std::string(1500, 'e') + "\n",
                    {"PATH=" + std::string(1500, 'p') + std::string(1500, 'e')}},
        CommandCase{"two_dots_lose_one_a_lone_dot_leaves_nothing", {"PATH=A", "KEY"},
                    {".E PATH={02}B..", ".C key={02}."},
                    "  CONCAT line now reads      : PATH=AB.\n"
                    "  CONCAT line now reads      : key= \n",
                    {"PATH=AB.", "key= "}},
        CommandCase{"given_twice_added_twice_separator_kept", {"PATH=A"},
                    {".E {02}PATH={02};B", ".E PATH={02};B{02}"},
                    "  CONCAT line now reads      : PATH=A;B\n"
                    "  CONCAT line now reads      : PATH=A;B;B\x02\n",
                    {"PATH=A;B;B\x02"}},
        CommandCase{"missing_key_or_addition", {"PATH=A"}, {".C PATH=", ".E {02}"},
                    "Missing field separator on line 2 - command ignored\n"
                    "Missing field separator on line 3 - command ignored\n",
                    {"PATH=A"}}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Varsub, Commands,
    testing::Values(
        CommandCase{"worked_examples",
                    {"SET IP=%TCPIP%", "ECHO %TCPIP% %TCPIP%", "REM nothing here", "", "%tcpip%"},
                    {".V %TCPIP%{02}10.1.2.3."},
                    "  VARSUB line now reads      : SET IP=10.1.2.3\n"
                    "  VARSUB line now reads      : ECHO 10.1.2.3 10.1.2.3\n",
                    {"SET IP=10.1.2.3", "ECHO 10.1.2.3 10.1.2.3", "REM nothing here", "",
                     "%tcpip%"}},
        CommandCase{"lone_dot_deletes", {"A%X%B%X%C"}, {".V %X%{02}."},
                    "  VARSUB line now reads      : ABC\n", {"ABC"}},
        // The search restarts at the first byte after each replacement.
        CommandCase{"replacement_forms_the_variable_anew", {"AABB", "ABABAB"}, {".V AB{02}A"},
                    "  VARSUB line now reads      : AA\n"
                    "  VARSUB line now reads      : AAA\n",
                    {"AA", "AAA"}},
        CommandCase{"first_part_keeps_its_dot", {"A.B", "AB"}, {".V A.{02}x"},
                    "  VARSUB line now reads      : xB\n", {"xB", "AB"}},
        CommandCase{"value_holding_the_variable_never_ends", {"x1", "none"}, {".V x{02}xx"},
                    "  VARSUB never ends, kept    : x1\n", {"x1", "none"}},
        CommandCase{"value_forming_it_with_neighbours_never_ends", {"aab", "ab ab"},
                    {".V ab{02}bbaa"},
                    "  VARSUB never ends, kept    : aab\n"
                    "  VARSUB line now reads      : bbaa bbaa\n",
                    {"aab", "bbaa bbaa"}},
        CommandCase{"missing_value", {"A"}, {".V A"}, kDosMissing, {"A"}}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Unconcat, Commands,
    testing::Values(
        CommandCase{"worked_examples",
                    {"PATH=C:\\WINDOWS;C:\\DOS", "PATH=C:\\WINDOWS;C:\\DOS;C:\\WINDOWS;",
                     "SET PATH=C:\\WINDOWS;", "path=C:\\WINDOWS;", "PATH=C:\\UTIL"},
                    {".U PATH={02}C:\\WINDOWS;"},
                    "  UNCONCAT line now reads      : PATH=C:\\DOS\n"
                    "  UNCONCAT line now reads      : PATH=C:\\DOS;\n"
                    "  UNCONCAT line now reads      : PATH=C:\\UTIL\n",
                    {"PATH=C:\\DOS", "PATH=C:\\DOS;", "SET PATH=C:\\WINDOWS;",
                     "path=C:\\WINDOWS;", "PATH=C:\\UTIL"}},
        CommandCase{"deletion_restarts_from_the_start", {"PATH=AABB"}, {".U PATH={02}AB"},
                    "  UNCONCAT line now reads      : PATH=\n", {"PATH="}},
        CommandCase{"line_start_may_go_too", {"PATH=C:\\PATH;C:\\BIN"}, {".U PATH{02}PATH"},
                    "  UNCONCAT line now reads      : =C:\\;C:\\BIN\n", {"=C:\\;C:\\BIN"}},
        CommandCase{"whole_line_deleted_leaves_an_empty_line", {"X", "Y"}, {".U X{02}X"},
                    "  UNCONCAT line now reads      : \n", {"", "Y"}},
        CommandCase{"lone_dot_deletes_nothing", {"PATH=A", "B"}, {".U PATH={02}."},
                    "  UNCONCAT line now reads      : PATH=A\n", {"PATH=A", "B"}},
        CommandCase{"missing_part", {"A"}, {".U {02}X"}, kDosMissing, {"A"}}),
    [](const auto& info) { return info.param.name; });
// clang-format on

// An instruction file with LF-only line ends: the LF ends a second part (before the final dot
// is looked at), and stays in the texts of .I, .T and .R, to be written back as the line break.
TEST(Commands, LfOnlyInstructionLines) {
  Scratch folder;
  folder.write("T", plain_target({"PATH=A", "X"}));
  folder.write(
      "i.zt", ".F T\r\n.E PATH=" + sep("{02}") + ";B.\n.I Y\n.R X\n.S Y\n" + sep("{02}") + "\nZ\n");
  Outcome outcome = run_zeltrim(folder, {"i.zt"});
  EXPECT_EQ(outcome.out, banner() +
                             "Making changes to T\n\n"
                             "  CONCAT line now reads      : PATH=A;B\n"
                             "  BOTTOM line reads          : Y\n\n"
                             "Missing field separator on line 5 - command ignored\n" +
                             closing_success());
  EXPECT_EQ(folder.read("T"), plain_target({"PATH=A;B", "X", "Y"}));
}

TEST(Commands, LfOnlyTargetLines) {
  Scratch folder;
  folder.write("T", "PATH=A\nREM %V%\n");
  folder.write("i.zt", crlf_lines({".F T", ".E PATH={02};B", ".V %V%{02}v"}));
  Outcome outcome = run_zeltrim(folder, {"i.zt"});
  EXPECT_EQ(outcome.out, banner() +
                             "Making changes to T\n\n"
                             "  CONCAT line now reads      : PATH=A;B\n"
                             "  VARSUB line now reads      : REM v\n\n" +
                             closing_success());
  EXPECT_EQ(folder.read("T"), plain_target({"PATH=A;B", "REM v"}));
}

struct TraceCase {
  const char* name;
  std::string command;
  std::string trace;  // between the operation message and the end-of-operation message
};
void PrintTo(const TraceCase& row, std::ostream* out) { *out << row.name; }

class TestModeTrace : public testing::TestWithParam<TraceCase> {};

TEST_P(TestModeTrace, HandlerMessagesInOrder) {
  Scratch folder;
  folder.write("T", plain_target({"A", "set path=C:\\WINDOWS;"}));
  std::string command = sep(GetParam().command);
  folder.write("i.zt", ".F T\r\n" + command + "\r\n");
  Outcome outcome = run_zeltrim(folder, {"i.zt", "/t"}, {.input = std::string(10, '\n')});
  std::string end =
      "TEST MODE: end of " + command + " operation\n\nTEST MODE: Press ENTER to continue...\n\n";
  std::string expected_start = "TEST MODE: operation is " + command + "\n\n";
  std::size_t at = outcome.out.find(expected_start);
  ASSERT_NE(at, std::string::npos) << outcome.out;
  std::size_t trace_at = at + expected_start.size();
  std::size_t end_at = outcome.out.find(end, trace_at);
  ASSERT_NE(end_at, std::string::npos) << outcome.out;
  EXPECT_EQ(outcome.out.substr(trace_at, end_at - trace_at), sep(GetParam().trace));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Commands, TestModeTrace,
    testing::Values(
        TraceCase{"remove", ".R a",
                  "TEST MODE: delete line is...A\n  REMOVED line that read     : a\n"},
        TraceCase{"append_after", ".A A{02}B",
                  "TEST MODE: inline is : A{02}B\nTEST MODE: searchstring : A\n"
                  "TEST MODE: addstring : B\n  APPEND AFTER line reads    : B\n"},
        TraceCase{"append_after_missing", ".A A",
                  "TEST MODE: inline is : A\n"
                  "Missing field separator on line 2 - command ignored\n"},
        TraceCase{"swap", ".S A{02}B",
                  "TEST MODE: inline is : A{02}B\nTEST MODE: token1 : A\n"
                  "TEST MODE: token2 : B\nTEST MODE: oldstring : A\nTEST MODE: oldstring : B\n\n"
                  "  SWAPPED line now reads     : B\n"},
        TraceCase{"concat", ".E SET PATH={02}C:\\UTIL;.",
                  "TEST MODE: concat begins after...SET PATH=...\n\n"
                  "TEST MODE: concats...C:\\UTIL;....\n\n"
                  "  CONCAT line now reads      : SET PATH=C:\\WINDOWS;C:\\UTIL;\n"},
        TraceCase{"concat_missing_key", ".C {02}",
                  "Missing field separator on line 2 - command ignored\n"},
        TraceCase{"concat_missing_addition", ".C PATH=",
                  "TEST MODE: concat begins after...PATH=...\n\n"
                  "Missing field separator on line 2 - command ignored\n"},
        TraceCase{"varsub", ".V A{02}B.",
                  "TEST MODE: concat begins after...A...\n\nTEST MODE: concats...B....\n\n"
                  "  VARSUB line now reads      : B\n"},
        TraceCase{"unconcat", ".U A{02}A",
                  "TEST MODE: concat begins after...A...\n\nTEST MODE: concats...A...\n\n"
                  "  UNCONCAT line now reads      : \n"}),
    [](const auto& info) { return info.param.name; });
// clang-format on

}  // namespace
}  // namespace zeltrim::e2e

namespace zeltrim::e2e {
namespace {

// A realistic job on both start-up files, every command once or more, in plain CR LF text and
// in UTF-16LE with a byte-order mark.
// clang-format off
const std::vector<std::string> kAutoexec = {
    "@ECHO OFF", "PROMPT $P$G", "PATH=C:\\WINDOWS;C:\\WINDOWS\\COMMAND;C:\\OLDTOOLS",
    "SET TEMP=C:\\WINDOWS\\TEMP", "C:\\WINDOWS\\SMARTDRV.EXE", "DOSKEY", "",
    "SET TCPIP=%TCPIP%", "NET START"};
const std::vector<std::string> kConfig = {
    "DEVICE=C:\\WINDOWS\\HIMEM.SYS", "DEVICE=C:\\WINDOWS\\EMM386.EXE NOEMS", "DOS=HIGH,UMB",
    "FILES=30", "BUFFERS=20"};
const std::vector<std::string> kJob = {
    "REM start-up files for the lab machines",
    ".F AUTOEXEC.BAT",
    ".T REM edited by ZELTRIM",
    ".C PATH={02}C:\\NET;",
    ".U PATH={02};C:\\OLDTOOLS",
    ".E PATH={02};C:\\UTIL.",
    ".R doskey",
    ".S C:\\WINDOWS\\SMARTDRV.EXE{02}REM C:\\WINDOWS\\SMARTDRV.EXE",
    ".A PROMPT $P$G{02}SET DIRCMD=/O:GN",
    ".V %TCPIP%{02}192.0.2.10",
    ".I C:\\NET\\LOGIN.BAT",
    ".F CONFIG.SYS",
    ".S DEVICE=C:\\WINDOWS\\EMM386.EXE NOEMS{02}DEVICE=C:\\WINDOWS\\EMM386.EXE RAM",
    ".E FILES={02}0",
    ".A DOS=HIGH,UMB{02}LASTDRIVE=Z",
    ".I STACKS=9,256"};
const std::vector<std::string> kAutoexecAfter = {
    "REM edited by ZELTRIM", "@ECHO OFF", "PROMPT $P$G", "SET DIRCMD=/O:GN",
    "PATH=C:\\NET;C:\\WINDOWS;C:\\WINDOWS\\COMMAND;C:\\UTIL", "SET TEMP=C:\\WINDOWS\\TEMP",
    "REM C:\\WINDOWS\\SMARTDRV.EXE", "", "SET TCPIP=192.0.2.10", "NET START",
    "C:\\NET\\LOGIN.BAT"};
const std::vector<std::string> kConfigAfter = {
    "DEVICE=C:\\WINDOWS\\HIMEM.SYS", "DEVICE=C:\\WINDOWS\\EMM386.EXE RAM", "DOS=HIGH,UMB",
    "LASTDRIVE=Z", "FILES=300", "BUFFERS=20", "STACKS=9,256"};
// clang-format on
const std::string kJobReport =
    "Making changes to AUTOEXEC.BAT\n\n"
    "  TOP line reads             : REM edited by ZELTRIM\n"
    "  CONCAT line now reads      : PATH=C:\\NET;C:\\WINDOWS;C:\\WINDOWS\\COMMAND;C:\\OLDTOOLS\n"
    "  UNCONCAT line now reads      : PATH=C:\\NET;C:\\WINDOWS;C:\\WINDOWS\\COMMAND\n"
    "  CONCAT line now reads      : PATH=C:\\NET;C:\\WINDOWS;C:\\WINDOWS\\COMMAND;C:\\UTIL\n"
    "  REMOVED line that read     : doskey\n"
    "  SWAPPED line now reads     : REM C:\\WINDOWS\\SMARTDRV.EXE\n"
    "  APPEND AFTER line reads    : SET DIRCMD=/O:GN\n"
    "  VARSUB line now reads      : SET TCPIP=192.0.2.10\n"
    "  BOTTOM line reads          : C:\\NET\\LOGIN.BAT\n"
    "Making changes to CONFIG.SYS\n\n"
    "  SWAPPED line now reads     : DEVICE=C:\\WINDOWS\\EMM386.EXE RAM\n"
    "  CONCAT line now reads      : FILES=300\n"
    "  APPEND AFTER line reads    : LASTDRIVE=Z\n"
    "  BOTTOM line reads          : STACKS=9,256\n";

std::string lines_in_form(const std::vector<std::string>& lines, bool utf16le) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  if (!utf16le) return text;
  std::string wide = "\xFF\xFE";
  for (char byte : text) wide += std::string{byte, '\0'};
  return wide;
}

TEST(RealisticJob, EveryCommandOnBothStartUpFiles) {
  for (bool utf16le : {false, true}) {
    SCOPED_TRACE(utf16le ? "UTF-16LE" : "plain");
    Scratch folder;
    folder.write("AUTOEXEC.BAT", lines_in_form(kAutoexec, utf16le));
    folder.write("CONFIG.SYS", lines_in_form(kConfig, utf16le));
    std::string job;
    for (const std::string& line : kJob) job += sep(line) + "\r\n";
    folder.write("LAB.ZT", job);
    Outcome outcome = run_zeltrim(folder, {"LAB.ZT"});
    EXPECT_EQ(outcome.out, banner() + kJobReport + closing_success());
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_EQ(folder.read("AUTOEXEC.BAT"), lines_in_form(kAutoexecAfter, utf16le) + "\x1A");
    EXPECT_EQ(folder.read("CONFIG.SYS"), lines_in_form(kConfigAfter, utf16le) + "\x1A");
  }
}

}  // namespace
}  // namespace zeltrim::e2e

namespace zeltrim::e2e {
namespace {

TEST(WorkedRun, RemoveExtendAndAppendOnAnAutoexec) {
  Scratch folder;
  folder.write("AUTOEXEC.BAT", "@ECHO OFF\r\nPATH=C:\\WINDOWS\r\nDOSKEY\r\n");
  folder.write("i.zt", crlf_lines({".F AUTOEXEC.BAT", ".R doskey", ".E PATH={02};C:\\UTIL",
                                   ".I SET TEMP=C:\\TEMP"}));
  Outcome outcome = run_zeltrim(folder, {"i.zt"});
  EXPECT_EQ(outcome.out, banner() +
                             "Making changes to AUTOEXEC.BAT\n\n"
                             "  REMOVED line that read     : doskey\n"
                             "  CONCAT line now reads      : PATH=C:\\WINDOWS;C:\\UTIL\n"
                             "  BOTTOM line reads          : SET TEMP=C:\\TEMP\n" +
                             closing_success());
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(folder.read("AUTOEXEC.BAT"),
            "@ECHO OFF\r\nPATH=C:\\WINDOWS;C:\\UTIL\r\nSET TEMP=C:\\TEMP\r\n\x1A");
}

}  // namespace
}  // namespace zeltrim::e2e
