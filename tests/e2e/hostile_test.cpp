// Instruction files no one would write on purpose: binary garbage, zero and end-mark bytes, a
// 10 MB line, a million commands, a .V that never ends on every line of a large target. The run
// ends normally, within a CPU-time limit, and in memory proportional to its input (an address
// space limit of a fixed base plus a small multiple of the input).
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "harness.h"
#include "text_util.h"

namespace zeltrim::e2e {
namespace {

using namespace std::string_literals;

constexpr long long kBaseMemory = 32ll << 20;  // the program and its libraries, with room
constexpr long long kCpuSeconds = 60;          // far beyond any of these runs

const std::string kTarget = written_plain({"@ECHO OFF", "PATH=C:\\DOS"});
std::string target() { return kTarget; }
const std::string kMaking = "Making changes to T\n\n";

// Every input is made when its test runs: test processes start once per test, and large rows
// made up front would slow every one of them.
using Bytes = std::function<std::string()>;

struct HostileCase {
  const char* name;
  Bytes instructions;
  Bytes target;
  Bytes report;    // between the banner and the closing message
  Bytes expected;  // the target afterwards
  long long memory_per_input_byte;
  bool report_ends_only = false;  // only the end of the report is known
};
void PrintTo(const HostileCase& row, std::ostream* out) { *out << row.name; }

// A megabyte of random bytes in which no line names a target, then a command that works.
std::string garbage() {
  std::mt19937 random(20260101);
  std::string bytes(1 << 20, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  for (std::size_t at = 0; at + 1 < bytes.size(); ++at) {
    bool line_start = at == 0 || bytes[at - 1] == '\n';
    char letter = static_cast<char>(bytes[at + 1] | 0x20);
    if (line_start && bytes[at] == '.' && (letter == 'f' || letter == 'g')) bytes[at] = '#';
  }
  return bytes + "\n" + crlf_lines({".F T", ".I end"});
}

const std::vector<std::string> kQuietCommands = {
    ".R nothing",   ".S a{02}b",    ".V %X%{02}y",  ".U SET{02}z",
    ".C KEY={02}v", ".A none{02}x", ".E KEY={02}w", ".Q"};

std::string million_commands() {
  std::string all = crlf_lines({".F T"});
  for (int i = 0; i < 1'000'000; ++i)
    all += crlf_lines({kQuietCommands[i % kQuietCommands.size()]});
  return all;
}

std::string million_commands_report() {
  std::string report = kMaking;
  for (int i = 0; i < 1'000'000; ++i) {
    // Line 1 names the target; every eighth command is the invalid .Q.
    if (i % kQuietCommands.size() == kQuietCommands.size() - 1) {
      report += "Invalid command found on line " + std::to_string(i + 2) + "\n";
    }
  }
  return report;
}

std::string repeated(std::string_view line, int count) {
  std::string all;
  for (int i = 0; i < count; ++i) all += line;
  return all;
}

const std::string& long_line() {
  static const std::string line(10'000'000, 'L');
  return line;
}

const std::string kEndlessLine = "AAAAAAAAAA";
constexpr int kEndlessLines = 100'000;
std::string endless_target() { return repeated(kEndlessLine + "\r\n", kEndlessLines) + "\x1A"; }

class Hostile : public testing::TestWithParam<HostileCase> {};

TEST_P(Hostile, EndsNormallyInBoundedTimeAndMemory) {
  const HostileCase& row = GetParam();
  Scratch folder;
  std::string instructions = row.instructions();
  std::string target = row.target();
  folder.write("T", target);
  folder.write("i.zt", instructions);
  bool limited = resource_limits_apply();
  RunOptions options;
  if (limited) {
    long long input = static_cast<long long>(instructions.size() + target.size());
    options.memory_limit = kBaseMemory + row.memory_per_input_byte * input;
    options.cpu_seconds = kCpuSeconds;
  }
  Outcome outcome = run_zeltrim(folder, {"i.zt"}, options);
  EXPECT_EQ(outcome.signal, 0);
  EXPECT_EQ(outcome.exit_code, 0);
  std::string tail = row.report() + closing_success();
  if (row.report_ends_only) {
    EXPECT_TRUE(outcome.out.starts_with(banner()));
    EXPECT_TRUE(outcome.out.ends_with(tail)) << outcome.out.substr(outcome.out.size() - 200);
  } else {
    EXPECT_TRUE(outcome.out == banner() + tail);  // not printed: it may be megabytes
  }
  EXPECT_TRUE(folder.read("T") == row.expected());
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"T", "i.zt"}));
  if (!limited) GTEST_SKIP() << "ran without its memory and CPU limits (sanitizer or valgrind)";
}

// The original target with `lines` added.
Bytes target_with(std::initializer_list<std::string_view> lines) {
  std::string added = crlf_lines(lines);
  return [added] { return kTarget.substr(0, kTarget.size() - 1) + added + "\x1A"; };
}

Bytes just(std::string text) {
  return [text] { return text; };
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Instructions, Hostile,
    testing::Values(
        HostileCase{"binary_garbage", garbage, target,
                    just(kMaking + "  BOTTOM line reads          : end\n"), target_with({"end"}),
                    4, true},
        HostileCase{"zero_bytes",
                    [] { return std::string(1 << 20, '\0') + "\r\n" + crlf_lines({".F T"}); },
                    target, just(kMaking), target, 4},
        // The end mark ends a target, not an instruction file: later lines are carried out.
        HostileCase{"end_mark_lines",
                    just(crlf_lines({".F T", "\x1A", "\x1A.I ignored", ".I after"})), target,
                    just(kMaking + "  BOTTOM line reads          : after\n"),
                    target_with({"after"}), 4},
        HostileCase{"ten_megabyte_line", [] { return crlf_lines({".F T", ".I " + long_line()}); },
                    target,
                    [] { return kMaking + "  BOTTOM line reads          : " + long_line() + "\n"; },
                    [] { return target_with({long_line()})(); }, 6},
        HostileCase{"ten_megabyte_remark",
                    [] { return crlf_lines({".F T", "REM " + long_line(), ".R " + long_line()}); },
                    target, just(kMaking), target, 3},
        HostileCase{"million_commands", million_commands, target, million_commands_report, target,
                    3},
        HostileCase{"million_lines_added",
                    [] { return crlf_lines({".F T"}) + repeated(".I x\r\n", 1'000'000); },
                    target,
                    [] { return kMaking + repeated("  BOTTOM line reads          : x\n", 1'000'000); },
                    [] {
                      return kTarget.substr(0, kTarget.size() - 1) + repeated("x\r\n", 1'000'000) +
                             "\x1A";
                    },
                    16},
        // Every line would grow for ever: each is stopped at the .V bound and kept as it was.
        HostileCase{"endless_varsub_on_every_line", just(crlf_lines({".F T", ".V A{02}AA"})),
                    endless_target,
                    [] {
                      return kMaking + repeated("  VARSUB never ends, kept    : " + kEndlessLine +
                                                    "\n",
                                                kEndlessLines);
                    },
                    endless_target, 4}),
    [](const auto& info) { return info.param.name; });
// clang-format on

TEST(Hostile, LineBeginningWithTheEndMarkEndsAPlainTargetWhenNextLoaded) {
  // What a user asks for is written; on the next load the end mark at the start of that line
  // ends the file, so it and every line after it are gone from the next write-back.
  const std::string marked = std::string("\x1A") + "after the mark";
  Scratch folder;
  folder.write("T", kTarget);
  folder.write("i.zt", crlf_lines({".F T", ".I " + marked, ".I last"}));
  ASSERT_EQ(run_zeltrim(folder, {"i.zt"}).exit_code, 0);
  EXPECT_EQ(folder.read("T"), written_plain({"@ECHO OFF", "PATH=C:\\DOS", marked, "last"}));
  folder.write("i.zt", crlf_lines({".F T", ".I again"}));
  ASSERT_EQ(run_zeltrim(folder, {"i.zt"}).exit_code, 0);
  EXPECT_EQ(folder.read("T"), written_plain({"@ECHO OFF", "PATH=C:\\DOS", "again"}));
}

}  // namespace
}  // namespace zeltrim::e2e
