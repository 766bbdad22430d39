// Test mode at a real terminal: the program runs under a pseudo-terminal, each Enter wait is
// answered with Enter and each key wait of the write-back with one key and no Enter. The trace
// must come in the program's order, the key must not be echoed, and the terminal must be left
// exactly as it was found, also when the run is interrupted from the keyboard during a key wait.
// The Windows program is driven at the console that wine makes of the terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "harness.h"
#include "text_util.h"

namespace zeltrim::e2e {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(30);

constexpr char kEnter = '\r';
constexpr char kCtrlC = '\x03';
constexpr char kCtrlBackslash = '\x1C';

// What the program prints up to a wait, and what the user types there. A step without an
// answer ends the conversation; the program must then end by itself.
struct Step {
  std::string printed;
  char answer = 0;
};

struct Conversation {
  std::string seen;            // everything the terminal showed, its CRs taken out
  std::string expected;        // what it should have shown up to where it stopped
  int status = -1;             // as waitpid gives it
  bool settings_kept = false;  // the terminal's settings after the run equal those before
  bool key_waits_raw = true;   // every key wait had echo and line editing off, signals on
  bool temp_during_key_wait = false;
  std::vector<std::string> names_after;
};

bool same_settings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
         cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
}

// The settings a terminal starts with here, a little changed, so that a program that restores
// some default rather than what it found would be caught.
termios unusual_settings() {
  int master = -1;
  int slave = -1;
  termios settings{};
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) == 0) {
    tcgetattr(slave, &settings);
    close(master);
    close(slave);
  }
  settings.c_lflag &= ~static_cast<tcflag_t>(ECHOCTL);
  settings.c_cc[VERASE] = '\b';
  return settings;
}

bool has_temp_file(const Scratch& folder) {
  for (const std::string& name : folder.names()) {
    if (name.find(".zeltrim-") != std::string::npos) return true;
  }
  return false;
}

class Terminal {
 public:
  Terminal(const Scratch& folder, const std::vector<std::string>& arguments) {
    std::vector<std::string> command = program_command();
    command.insert(command.end(), arguments.begin(), arguments.end());
    termios settings = unusual_settings();
    child_ = forkpty(&master_, nullptr, &settings, nullptr);
    if (child_ == 0) {
      std::vector<char*> argv;
      for (std::string& word : command) argv.push_back(word.data());
      argv.push_back(nullptr);
      struct rlimit no_core = {0, 0};
      setrlimit(RLIMIT_CORE, &no_core);
      if (chdir(folder.path().c_str()) != 0) _exit(126);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    // Holding the terminal's other end open keeps its settings readable after the program ends.
    if (child_ > 0) slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY);
  }

  ~Terminal() {
    if (child_ > 0 && !ended_) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
    }
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }

  bool started() const { return child_ > 0 && slave_ >= 0; }

  termios settings() const {
    termios now{};
    tcgetattr(slave_, &now);
    return now;
  }

  // Reads until `seen` holds at least `size` bytes, or the program ends, or patience runs out.
  void read_until(std::string& seen, std::size_t size) {
    Clock::time_point deadline = Clock::now() + kPatience;
    while (seen.size() < size && Clock::now() < deadline) {
      if (!read_some(seen, 100) && has_ended()) {
        read_some(seen, 0);
        return;
      }
    }
  }

  // Reads everything until the program has ended; false when it does not end in time.
  bool read_to_end(std::string& seen) {
    Clock::time_point deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
      if (!read_some(seen, 100) && has_ended()) {
        while (read_some(seen, 0)) {
        }
        return true;
      }
    }
    return false;
  }

  // Waits until the program has put the terminal into its key-wait state.
  bool wait_for_raw_mode(termios& raw) {
    Clock::time_point deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
      raw = settings();
      if ((raw.c_lflag & ICANON) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }

  void type(char byte) { ASSERT_EQ(write(master_, &byte, 1), 1); }

  int status() const { return status_; }

 private:
  // One read of what the terminal shows, CRs taken out; false when nothing came.
  bool read_some(std::string& seen, int wait_ms) {
    pollfd ready = {master_, POLLIN, 0};
    if (poll(&ready, 1, wait_ms) <= 0 || (ready.revents & POLLIN) == 0) return false;
    char buffer[4096];
    ssize_t got = read(master_, buffer, sizeof buffer);
    if (got <= 0) return false;
    for (ssize_t i = 0; i < got; ++i) {
      if (buffer[i] != '\r') seen.push_back(buffer[i]);
    }
    return true;
  }

  bool has_ended() {
    if (!ended_ && waitpid(child_, &status_, WNOHANG) == child_) ended_ = true;
    return ended_;
  }

  pid_t child_ = -1;
  int master_ = -1;
  int slave_ = -1;
  bool ended_ = false;
  int status_ = -1;
};

Conversation converse(const Scratch& folder, const std::vector<std::string>& arguments,
                      const std::vector<Step>& steps) {
  Conversation talk;
  Terminal terminal(folder, arguments);
  EXPECT_TRUE(terminal.started());
  if (!terminal.started()) return talk;
  termios before = terminal.settings();
  for (const Step& step : steps) {
    talk.expected += step.printed;
    terminal.read_until(talk.seen, talk.expected.size());
    if (talk.seen != talk.expected) return talk;  // out of order: the test shows where
    if (step.answer == 0) break;
    if (step.answer == kEnter) {
      terminal.type(kEnter);
      talk.expected += "\n";  // the terminal echoes the Enter of a line read
      continue;
    }
    termios raw;
    if (!terminal.wait_for_raw_mode(raw)) return talk;
    talk.key_waits_raw = talk.key_waits_raw && (raw.c_lflag & ECHO) == 0 && (raw.c_lflag & ISIG);
    talk.temp_during_key_wait = talk.temp_during_key_wait || has_temp_file(folder);
    terminal.type(step.answer);
  }
  EXPECT_TRUE(terminal.read_to_end(talk.seen)) << "the program did not end";
  talk.status = terminal.status();
  talk.settings_kept = same_settings(before, terminal.settings());
  talk.names_after = folder.names();
  return talk;
}

// The whole conversation of a test-mode run that adds a line and swaps another.
std::vector<Step> test_mode_run(char first_key, char second_key) {
  const std::string press_enter = "TEST MODE: Press ENTER to continue...\n\n";
  return {
      {banner() + "Invoked in TEST mode \n\n" + traced_load("T"), kEnter},
      {"TEST MODE: operation is .S one\x02uno\n\n" +
           std::string("TEST MODE: inline is : one\x02uno\n"),
       kEnter},
      {"TEST MODE: token1 : one\nTEST MODE: token2 : uno\n", kEnter},
      {"TEST MODE: oldstring : one\nTEST MODE: oldstring : uno\n\n"
       "  SWAPPED line now reads     : uno\n"
       "TEST MODE: end of .S one\x02uno operation\n\n" +
           press_enter,
       kEnter},
      {"TEST MODE: operation is .I two\n\n  BOTTOM line reads          : two\n"
       "TEST MODE: end of .I two operation\n\n" +
           press_enter,
       kEnter},
      {"TEST MODE: stored: uno\n", first_key},
      {"TEST MODE: stored: two\n", second_key},
      {closing_success()},
  };
}

struct TerminalCase {
  const char* name;
  char first_key;  // typed at the first key wait
  int signal;      // the signal the program dies of, 0 when it ends normally
};
void PrintTo(const TerminalCase& row, std::ostream* out) { *out << row.name; }

class TestModeAtATerminal : public testing::TestWithParam<TerminalCase> {};

TEST_P(TestModeAtATerminal, TracesInOrderAndLeavesTheTerminalAsItWas) {
  if (program_command_overridden()) GTEST_SKIP() << "needs the program's own terminal handling";
  const TerminalCase& row = GetParam();
  Scratch folder;
  const std::string original = written_plain({"one"});
  folder.write("T", original);
  folder.write("i.zt", crlf_lines({".F T", ".S one{02}uno", ".I two"}));
  std::vector<Step> steps = test_mode_run(row.first_key, 'k');
  if (row.signal != 0) steps.resize(steps.size() - 2);  // nothing more once it is interrupted

  Conversation talk = converse(folder, {"i.zt", "/t"}, steps);
  ASSERT_EQ(talk.seen, talk.expected);
  EXPECT_TRUE(talk.key_waits_raw) << "a key wait echoed, or took Ctrl-C as a key";
  EXPECT_TRUE(talk.temp_during_key_wait) << "the key waits come while the new file is written";
  EXPECT_TRUE(talk.settings_kept);
  EXPECT_EQ(talk.names_after, (std::vector<std::string>{"T", "i.zt"}));
  if (row.signal == 0) {
    EXPECT_TRUE(WIFEXITED(talk.status) && WEXITSTATUS(talk.status) == 0) << talk.status;
    EXPECT_EQ(folder.read("T"), written_plain({"uno", "two"}));
  } else {
    EXPECT_TRUE(WIFSIGNALED(talk.status) && WTERMSIG(talk.status) == row.signal) << talk.status;
    EXPECT_EQ(folder.read("T"), original);
  }
}

INSTANTIATE_TEST_SUITE_P(Keys, TestModeAtATerminal,
                         testing::Values(TerminalCase{"a_key_without_enter", 'k', 0},
                                         TerminalCase{"ctrl_c_at_a_key_wait", kCtrlC, SIGINT},
                                         TerminalCase{"ctrl_backslash_at_a_key_wait",
                                                      kCtrlBackslash, SIGQUIT}),
                         [](const auto& info) { return info.param.name; });

// The Windows program at a console, which wine makes of the terminal. The console shows the
// trace through its own cursor movements, so these rows look at the run's effects instead:
// each Enter answers one Enter wait, each key one key wait while the new file is written, and
// Ctrl-C there removes that file and ends the run with the console's interrupt status.
struct ConsoleCase {
  const char* name;
  char key;       // typed at each key wait
  int exit_code;  // as the loader hands it on
};
void PrintTo(const ConsoleCase& row, std::ostream* out) { *out << row.name; }

class TestModeAtAWindowsConsole : public testing::TestWithParam<ConsoleCase> {};

TEST_P(TestModeAtAWindowsConsole, KeysAnswerTheWaitsAndCtrlCLeavesTheTargetAlone) {
  if (!program_is_windows()) GTEST_SKIP() << "a Windows console";
  const ConsoleCase& row = GetParam();
  Scratch folder;
  const std::string original = written_plain({"one"});
  folder.write("T", original);
  folder.write("i.zt", crlf_lines({".F T", ".I two"}));
  Terminal terminal(folder, {"i.zt", "/t"});
  ASSERT_TRUE(terminal.started());
  // Keys typed before the console has taken the terminal over would reach it as line input.
  termios raw;
  ASSERT_TRUE(terminal.wait_for_raw_mode(raw));
  terminal.type(kEnter);  // after .F
  terminal.type(kEnter);  // after .I
  // The temporary file is made just before the first stored line is shown; what the console
  // shows is read on the way, so that a full terminal cannot hold the program up.
  std::string seen;
  Clock::time_point deadline = Clock::now() + kPatience;
  while (!has_temp_file(folder) && Clock::now() < deadline) {
    terminal.read_until(seen, seen.size() + 1);
  }
  ASSERT_TRUE(has_temp_file(folder)) << "no key wait while the new file is written";
  terminal.type(row.key);
  if (row.key != kCtrlC) terminal.type(row.key);  // the second line's key wait
  ASSERT_TRUE(terminal.read_to_end(seen)) << "the program did not end";
  EXPECT_TRUE(WIFEXITED(terminal.status()) && WEXITSTATUS(terminal.status()) == row.exit_code)
      << terminal.status();
  EXPECT_EQ(folder.read("T"), row.key == kCtrlC ? original : written_plain({"one", "two"}));
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"T", "i.zt"}));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, TestModeAtAWindowsConsole,
    // Ctrl-C ends the process with status 0xC000013A, of which the loader keeps the low byte.
    testing::Values(ConsoleCase{"a_key_without_enter", 'k', 0},
                    ConsoleCase{"ctrl_c_at_a_key_wait", kCtrlC, 0x3A}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace zeltrim::e2e
