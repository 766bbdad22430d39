// Loading targets in every encoding and writing them back byte-exact.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "harness.h"
#include "text_util.h"

namespace zeltrim::e2e {
namespace {

using namespace std::string_literals;

// Text in a form, one code unit per byte of `text`: no end mark, no mark unless asked.
std::string units(std::string_view text, int size, bool little_endian) {
  std::string out;
  for (char byte : text) {
    std::string unit(static_cast<std::size_t>(size), '\0');
    unit[little_endian ? 0 : static_cast<std::size_t>(size - 1)] = byte;
    out += unit;
  }
  return out;
}
std::string utf16le(std::string_view text) { return "\xFF\xFE"s + units(text, 2, true); }
std::string utf16be(std::string_view text) { return "\xFE\xFF"s + units(text, 2, false); }
std::string utf32be(std::string_view text) { return "\0\0\xFE\xFF"s + units(text, 4, false); }
std::string utf8(std::string_view text) { return "\xEF\xBB\xBF"s + std::string(text); }

const std::string kRefused =
    "Error - T cannot be edited without losing characters, file left unchanged\n";

struct TargetCase {
  const char* name;
  std::string target;
  std::vector<std::string_view> commands;  // after ".F T"
  std::string report;                      // after "Making changes to T\n\n"
  std::string expected;                    // the target afterwards
  int exit_code = 0;
};
void PrintTo(const TargetCase& row, std::ostream* out) { *out << row.name; }

class Targets : public testing::TestWithParam<TargetCase> {};

TEST_P(Targets, LoadChangeAndWriteBack) {
  const TargetCase& row = GetParam();
  Scratch folder;
  folder.write("T", row.target);
  std::string instructions = crlf_lines({".F T"});
  for (std::string_view command : row.commands) instructions += crlf_lines({command});
  folder.write("i.zt", instructions);
  Outcome outcome = run_zeltrim(folder, {"i.zt"});
  EXPECT_EQ(outcome.out, banner() + "Making changes to T\n\n" + row.report +
                             (row.exit_code == 0 ? closing_success() : closing_errors()));
  EXPECT_EQ(outcome.exit_code, row.exit_code);
  EXPECT_EQ(folder.read("T"), row.expected);
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"T", "i.zt"}));  // no temporary left
}

const std::string kBottomX = "  BOTTOM line reads          : X\n";

INSTANTIATE_TEST_SUITE_P(
    Plain, Targets,
    testing::Values(
        TargetCase{"own_form_unchanged", "A\r\n\r\nB\r\n\x1A", {}, "", "A\r\n\r\nB\r\n\x1A"},
        TargetCase{"end_mark_added", "A\r\nB\r\n", {}, "", "A\r\nB\r\n\x1A"},
        TargetCase{"last_line_without_break", "A\r\nB", {".I X"}, kBottomX, "A\r\nB\r\nX\r\n\x1A"},
        TargetCase{"end_mark_line_ends_the_file",
                   "A\r\n\x1A"
                   "B\r\nC\r\n",
                   {".I X"},
                   kBottomX,
                   "A\r\nX\r\n\x1A"},
        // An LF-only file keeps its LF in memory but gets one CR LF per line, not LF CR LF.
        TargetCase{
            "lf_only_lines", "A\nB\n\nC\n", {".I X"}, kBottomX, "A\r\nB\r\n\r\nC\r\nX\r\n\x1A"},
        TargetCase{"mixed_line_ends", "A\r\nB\nC\r\n", {}, "", "A\r\nB\r\nC\r\n\x1A"},
        TargetCase{"lone_cr_stays_in_its_line", "A\rB\r\n", {}, "", "A\rB\r\n\x1A"},
        TargetCase{"empty_file_is_left_alone", "", {}, "", ""},
        TargetCase{"empty_file_gains_lines", "", {".I X"}, kBottomX, "X\r\n\x1A"},
        TargetCase{"zero_byte_refused", "A\r\nB\0C\r\n"s, {".I X"}, kRefused, "A\r\nB\0C\r\n"s, 2},
        TargetCase{"zero_after_end_mark_line_is_not_loaded",
                   "A\r\n\x1A\0"s,
                   {".I X"},
                   kBottomX,
                   "A\r\nX\r\n\x1A"},
        TargetCase{"long_line_kept_whole",
                   std::string(3000, 'a') + "\r\n",
                   {".I X"},
                   kBottomX,
                   std::string(3000, 'a') + "\r\nX\r\n\x1A"}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Encoded, Targets,
    testing::Values(
        TargetCase{"utf16le",
                   utf16le("A\r\nB\r\n"),
                   {".I X"},
                   kBottomX,
                   utf16le("A\r\nB\r\nX\r\n") + "\x1A"},
        TargetCase{"utf16be",
                   utf16be("A\r\nB\r\n"),
                   {".I X"},
                   kBottomX,
                   utf16be("A\r\nB\r\nX\r\n") + "\x1A"},
        TargetCase{"utf8_lf_lines_stay_lines",
                   utf8("A\nB\n"),
                   {".I X"},
                   kBottomX,
                   utf8("A\r\nB\r\nX\r\n\x1A")},
        TargetCase{
            "utf8_multibyte_kept", utf8("caf\xC3\xA9\r\n"), {}, "", utf8("caf\xC3\xA9\r\n\x1A")},
        TargetCase{"utf32be", utf32be("A\r\n"), {".I X"}, kBottomX, utf32be("A\r\nX\r\n") + "\x1A"},
        TargetCase{"utf16_own_form_unchanged",
                   utf16le("A\r\n\r\nB\r\n") + "\x1A",
                   {},
                   "",
                   utf16le("A\r\n\r\nB\r\n") + "\x1A"},
        TargetCase{"utf16_every_break_kind",
                   utf16le("A\rB\nC\r\n\r\nD"),
                   {},
                   "",
                   utf16le("A\r\nB\r\nC\r\n\r\nD\r\n") + "\x1A"},
        TargetCase{"utf16_end_mark_without_break",
                   utf16le("A") + "\x1A",
                   {".I X"},
                   kBottomX,
                   utf16le("A\r\nX\r\n") + "\x1A"},
        TargetCase{"utf16_latin1_narrowed_and_restored",
                   utf16le("\xE9\r\n"),
                   {},
                   "",
                   utf16le("\xE9\r\n") + "\x1A"},
        TargetCase{
            "single_ff_byte_is_utf16be", "\xFF", {".I X"}, kBottomX, utf16be("X\r\n") + "\x1A"},
        TargetCase{"ff_fe_00_00_is_utf16le_and_refused",
                   "\xFF\xFE\0\0"s,
                   {".I X"},
                   kRefused,
                   "\xFF\xFE\0\0"s,
                   2},
        TargetCase{"character_above_ff_refused",
                   "\xFF\xFE\x3A\x04\r\0\n\0"s,
                   {".I X"},
                   kRefused,
                   "\xFF\xFE\x3A\x04\r\0\n\0"s,
                   2},
        TargetCase{"broken_last_unit_refused",
                   utf16le("A") + "B",
                   {".I X"},
                   kRefused,
                   utf16le("A") + "B",
                   2},
        TargetCase{"utf32_broken_last_unit_refused",
                   utf32be("A") + "\0\0"s,
                   {".I X"},
                   kRefused,
                   utf32be("A") + "\0\0"s,
                   2},
        TargetCase{
            "utf8_zero_byte_refused", utf8("A\0\r\n"s), {".I X"}, kRefused, utf8("A\0\r\n"s), 2}),
    [](const auto& info) { return info.param.name; });

TEST(Targets, GCreatesInThePreviousTargetsKind) {
  Scratch folder;
  folder.write("wide.txt", utf16le("A\r\n"));
  folder.write("i.zt", crlf_lines({".F wide.txt", ".G new.txt", ".I X"}));
  Outcome outcome = run_zeltrim(folder, {"i.zt"});
  EXPECT_EQ(outcome.out, banner() + "Making changes to wide.txt\n\nMaking changes to new.txt\n" +
                             kBottomX + closing_success());
  EXPECT_EQ(folder.read("new.txt"), utf16le("X\r\n") + "\x1A");
  EXPECT_EQ(folder.read("wide.txt"), utf16le("A\r\n") + "\x1A");
}

TEST(Targets, GEmptiesAnExistingFileAndKeepsItsKind) {
  Scratch folder;
  folder.write("T", utf16be("old\r\n"));
  folder.write("E", "stays empty");
  folder.write("i.zt", crlf_lines({".G T", ".I X", ".G E"}));
  Outcome outcome = run_zeltrim(folder, {"i.zt"});
  EXPECT_EQ(outcome.out, banner() + "Making changes to T\n" + kBottomX + "Making changes to E\n" +
                             closing_success());
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(folder.read("T"), utf16be("X\r\n") + "\x1A");
  EXPECT_EQ(folder.read("E"), "");
}

TEST(Targets, RefusedTargetKindCarriesToTheNextNewFile) {
  Scratch folder;
  folder.write("bad.txt", utf16le("A") + "\x3A\x04"s);
  folder.write("i.zt", crlf_lines({".F bad.txt", ".I lost", ".G new.txt", ".I X"}));
  Outcome outcome = run_zeltrim(folder, {"i.zt"});
  EXPECT_EQ(outcome.exit_code, 2);
  EXPECT_EQ(folder.read("new.txt"), utf16le("X\r\n") + "\x1A");
  EXPECT_EQ(folder.read("bad.txt"), utf16le("A") + "\x3A\x04"s);
}

TEST(Targets, MissingTargetSkipsCommandsAndWritesNothing) {
  Scratch folder;
  folder.write("i.zt", crlf_lines({".F gone.txt", ".I X", ".T Y"}));
  Outcome outcome = run_zeltrim(folder, {"i.zt"});
  EXPECT_EQ(outcome.out, banner() +
                             "Making changes to gone.txt\n\n"
                             "Error opening file gone.txt in ZELTRIM.EXE\n" +
                             closing_errors());
  EXPECT_EQ(outcome.exit_code, 2);
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"i.zt"}));
}

TEST(Targets, EachTargetIsWrittenBeforeTheNextLoads) {
  Scratch folder;
  folder.write("T", written_plain({"one"}));
  folder.write("i.zt", crlf_lines({".F T", ".I two", ".F T", ".I three"}));
  Outcome outcome = run_zeltrim(folder, {"i.zt"});
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(folder.read("T"), written_plain({"one", "two", "three"}));
}

TEST(Targets, LfOnlyInstructionFileKeepsTheLfInThePath) {
  Scratch folder;
  folder.write("T", written_plain({"one"}));
  folder.write("i.zt", ".F T\n.I two\n");
  Outcome outcome = run_zeltrim(folder, {"i.zt"});
  EXPECT_EQ(outcome.out, banner() + "Making changes to T\n\n\n" +
                             "Error opening file T\n in ZELTRIM.EXE\n" + closing_errors());
  EXPECT_EQ(folder.read("T"), written_plain({"one"}));
}

// Every real file is brought to the program's written form by one run and is then a fixed
// point: a second run changes no byte.
TEST(Corpus, WrittenFormIsAFixedPoint) {
  std::filesystem::path corpus =
      std::filesystem::path(ZELTRIM_SOURCE_DIR) / ".." / "shared" / "corpus";
  if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "no corpus beside the project";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    std::string name = entry.path().filename().string();
    if (name == "SOURCES.md" || name.starts_with(".")) continue;
    SCOPED_TRACE(name);
    Scratch folder;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    folder.write("T", original);
    folder.write("i.zt", crlf_lines({".F T"}));
    Outcome first = run_zeltrim(folder, {"i.zt"});
    ASSERT_EQ(first.exit_code, 0) << first.out;
    std::string once = folder.read("T");
    Outcome second = run_zeltrim(folder, {"i.zt"});
    ASSERT_EQ(second.exit_code, 0) << second.out;
    EXPECT_EQ(folder.read("T"), once);
    // A file already in the written form is not changed at all.
    if (name.ends_with(".bat") && original.ends_with("\r\n\x1A")) {
      EXPECT_EQ(once, original);
    }
    ++files;
  }
  EXPECT_GT(files, 20);
}

}  // namespace
}  // namespace zeltrim::e2e
