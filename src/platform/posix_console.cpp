#include <fcntl.h>
#include <signal.h>
#if defined(__linux__)
#include <sys/sendfile.h>
#endif
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "platform/console.h"
#include "platform/system.h"

namespace zeltrim::platform {

namespace {

// What the interrupt handler must undo. Only async-signal-safe calls touch these there.
std::atomic<bool> terminal_is_raw{false};
struct termios saved_terminal;

constexpr std::uint64_t kLargestSend = std::uint64_t{1} << 30;

extern "C" void on_interrupt(int signal_number) {
  if (terminal_is_raw.load()) tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
  for (std::size_t slot = 0; slot < kTempSlots; ++slot) {
    if (const char* temp = temp_file_to_remove(slot)) unlink(temp);
  }
  // The handler was reset to the default on entry: the signal ends the process as it would
  // have without us, once this handler returns.
  raise(signal_number);
}

void catch_signal(int signal_number) {
  struct sigaction old_action;
  if (sigaction(signal_number, nullptr, &old_action) != 0) return;
  if (old_action.sa_handler == SIG_IGN) return;  // nohup and background jobs stay as they are
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
}

bool read_one_byte() {
  char byte;
  for (;;) {
    ssize_t got = read(STDIN_FILENO, &byte, 1);
    if (got >= 0 || errno != EINTR) return got == 1;
  }
}

}  // namespace

ConsoleStart start_console() {
  ConsoleStart start;
  // A standard descriptor that is closed would be handed to the next file opened, and the report
  // would go into a target. /dev/null holds its place; a closed standard output still counts as
  // output that could not be written.
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY) != fd) continue;
    if (fd == STDOUT_FILENO) start.lost = Status::system(EBADF);
  }
  start.gather = !isatty(STDOUT_FILENO);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) catch_signal(signal_number);
  // A reader that stops reading the report (a pager quit early) must not end the run in the
  // middle of its edits: the report is lost, the targets are still written back.
  signal(SIGPIPE, SIG_IGN);
  return start;
}

void show_utf8() {}

void restore_console() {}

void wait_for_enter() { read_one_byte(); }

void wait_for_key() {
  if (!isatty(STDIN_FILENO)) return;
  if (tcgetattr(STDIN_FILENO, &saved_terminal) != 0) return;
  struct termios raw = saved_terminal;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  terminal_is_raw.store(true);
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) read_one_byte();
  tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
  terminal_is_raw.store(false);
}

Status send_to_output(File& file, std::uint64_t offset, std::uint64_t size, std::uint64_t& sent) {
  sent = 0;
#if defined(__linux__)
  while (sent < size) {
    auto at = static_cast<off_t>(offset + sent);
    auto want = static_cast<std::size_t>(std::min<std::uint64_t>(size - sent, kLargestSend));
    ssize_t done = sendfile(STDOUT_FILENO, static_cast<int>(file.handle()), &at, want);
    if (done < 0 && errno == EINTR) continue;
    // Output that cannot take bytes this way takes the rest written.
    if (done < 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) break;
    if (done < 0) return Status::last_error();
    if (done == 0) break;  // the file ended early
    sent += static_cast<std::uint64_t>(done);
  }
#else
  (void)file, (void)offset, (void)size;
#endif
  return {};
}

Status read_standard_input(std::string& bytes) {
  char block[1 << 16];
  for (;;) {
    ssize_t got = read(STDIN_FILENO, block, sizeof block);
    if (got == 0) return {};
    if (got < 0 && errno != EINTR) return Status::system(errno);
    if (got > 0) bytes.append(block, static_cast<std::size_t>(got));
  }
}

}  // namespace zeltrim::platform
