// A target carried through all its commands in one pass gives, byte for byte, what the commands
// give one after the other, each in a pass of its own over the whole content (as test mode
// carries them out): the same report, the same files. Random jobs on random targets, every
// option drawn at random.
#include <gtest/gtest.h>

#include <random>

#include "commands/interpreter.h"
#include "folder_test.h"

namespace zeltrim {
namespace {

// clang-format off
const char* const kWords[] = {"PATH", "path", "SET PATH", "A", "a", "X", "%V%", "=", "C:\\DOS;", ";",
                              ".", "ab", "aab", "", " ", "DOSKEY", "\x1A", "\xE9", "\xD0\x96", "K=V",
                              "\x02", "\r", "\xF0\x9F\x98\x80"};
// clang-format on

// Few words: texts and lines are often equal, and a line added at the top often finds itself
// far down the file.
const char* const kFewWords[] = {"A", "a", "B"};

class Job {
 public:
  explicit Job(unsigned seed, bool few_words = false) : random_(seed), few_words_(few_words) {}
  std::size_t below(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_);
  }
  std::string text() {
    std::string out;
    for (std::size_t words = below(few_words_ ? 2 : 4); words > 0; --words) {
      out += few_words_ ? kFewWords[below(std::size(kFewWords))] : kWords[below(std::size(kWords))];
    }
    return out;
  }
  // Lines with every kind of break, in one of the forms the program reads.
  std::string target() {
    std::string body;
    for (std::size_t lines = below(few_words_ ? 12 : 7); lines > 0; --lines) {
      const char* const breaks[] = {"\r\n", "\r\n", "\n", "\r", ""};
      body += text() + breaks[below(std::size(breaks))];
    }
    if (below(2) == 0) body += "\x1A";
    std::size_t form = below(4);
    if (form == 0) return body.insert(0, "\xEF\xBB\xBF");
    if (form > 1) return body;
    std::string wide = "\xFF\xFE";  // every byte widened to one UTF-16LE code unit
    for (char c : body) wide.append({c, '\0'});
    return wide;
  }
  std::string instructions() {
    std::string out;
    for (std::size_t lines = 1 + below(9); lines > 0; --lines) {
      out.push_back('.');
      if (below(5) == 0) {
        out.append({"FG"[below(2)], ' ', "TU"[below(2)]});
      } else {
        std::string_view letters = few_words_ ? "TTTIASR" : "ITRASCEUVX";
        out.append({letters[below(letters.size())], ' '}).append(text());
        if (below(4) != 0) out.append("\x02").append(text());
      }
      out.append("\r\n");
    }
    return out;
  }

 private:
  std::mt19937 random_;
  bool few_words_;
};

class OnePassAndPasses : public FolderTest {
 protected:
  // The report, the outcome and every file after running the job in a fresh folder.
  std::string run(const std::string& job, const std::string& t, const std::string& u,
                  const RunSettings& settings) {
    std::string folder = settings.pass_per_command ? "passes" : "one";
    std::filesystem::create_directory(path(folder));
    write(folder + "/T", t);
    write(folder + "/U", u);
    write(folder + "/i.zt", job);
    std::filesystem::path back = std::filesystem::current_path();
    std::filesystem::current_path(path(folder));
    testing::internal::CaptureStdout();
    RunOutcome outcome = run_instruction_file("i.zt", settings, platform::system_disk());
    std::string all = testing::internal::GetCapturedStdout();
    std::filesystem::current_path(back);
    all += "\noutcome " + std::to_string(static_cast<int>(outcome));
    for (std::string name : {"T", "U", "T.bak", "U.bak"}) {
      all += "\n" + name + ": " + read(folder + "/" + name);
    }
    std::filesystem::remove_all(path(folder));
    return all;
  }
};

class Jobs : public OnePassAndPasses, public testing::WithParamInterface<bool> {};

TEST_P(Jobs, GiveTheSameReportAndFiles) {
  const bool few_words = GetParam();
  Job job(20261207, few_words);
  for (int trial = 0; trial < 1500; ++trial) {
    RunSettings settings;
    settings.once = few_words || job.below(2) == 0;
    settings.strict = job.below(4) == 0;
    settings.target.keep_form = job.below(2) == 0;
    settings.target.unicode = job.below(3) == 0;
    settings.target.diff = job.below(3) == 0;
    settings.target.no_write = job.below(4) == 0;
    settings.target.backup = job.below(4) == 0;
    settings.look_ahead_lines = job.below(4);  // cut short: the file must pass again
    std::string instructions = job.instructions(), t = job.target(), u = job.target();
    SCOPED_TRACE(testing::PrintToString(instructions) + " T " + testing::PrintToString(t) + " U " +
                 testing::PrintToString(u));
    std::string one_pass = run(instructions, t, u, settings);
    settings.pass_per_command = true;
    ASSERT_EQ(one_pass, run(instructions, t, u, settings));
  }
}

// In its own form a file's added lines take the break most of its lines have; the first lines
// are outvoted by the rest here, so the one pass guesses wrong and must write the file again.
TEST_F(OnePassAndPasses, AddedLinesTakeTheBreakOfMostLines) {
  std::string t;
  for (int line = 0; line < 11000; ++line) t += line < 5000 ? "a\n" : "b\r\n";
  RunSettings settings;
  settings.target.keep_form = settings.target.diff = true;
  std::string one_pass = run(".F T\r\n.T x\r\n.I y\r\n", t, "", settings);
  EXPECT_NE(one_pass.find("\nT: x\r\na\n"), std::string::npos);
  settings.pass_per_command = true;
  EXPECT_EQ(one_pass, run(".F T\r\n.T x\r\n.I y\r\n", t, "", settings));
}

INSTANTIATE_TEST_SUITE_P(AnyWords, Jobs, testing::Values(false));
INSTANTIATE_TEST_SUITE_P(FewWordsMadeOnce, Jobs, testing::Values(true));

}  // namespace
}  // namespace zeltrim
