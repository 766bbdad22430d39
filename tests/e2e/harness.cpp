#include "harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zeltrim::e2e {

namespace {
constexpr int kTimeoutSeconds = 120;

// Text-mode output back to the bytes a POSIX build prints.
std::string lf_lines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') continue;
    out.push_back(text[at]);
  }
  return out;
}
}  // namespace

std::vector<std::string> program_command() {
  std::vector<std::string> words;
  if (program_command_overridden()) {
    std::istringstream in(std::getenv("ZELTRIM_COMMAND"));
    for (std::string word; in >> word;) words.push_back(word);
  } else {
    words.push_back(ZELTRIM_BINARY);
  }
  return words;
}

bool program_command_overridden() {
  const char* command = std::getenv("ZELTRIM_COMMAND");
  return command != nullptr && *command != '\0';
}

Scratch::Scratch() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zeltrim-e2e-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  chmod(path_.c_str(), 0777);  // so that an unprivileged run may work in it too
}

namespace {
// Folders a test locked must open again before what is in them can go.
void unlock_folders(const std::filesystem::path& folder) {
  std::error_code ignored;
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
    if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) unlock_folders(entry.path());
  }
}
}  // namespace

Scratch::~Scratch() {
  std::error_code ignored;
  unlock_folders(path_);
  std::filesystem::remove_all(path_, ignored);
}

void Scratch::write(std::string_view name, std::string_view bytes) const {
  std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file(name));
}

std::string Scratch::read(std::string_view name) const {
  std::ifstream in(file(name), std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool Scratch::exists(std::string_view name) const {
  struct stat info;
  return lstat(file(name).c_str(), &info) == 0;
}

std::vector<std::string> Scratch::names(std::string_view subfolder) const {
  std::vector<std::string> all;
  for (const auto& entry :
       std::filesystem::directory_iterator(subfolder.empty() ? path_ : file(subfolder))) {
    all.push_back(entry.path().filename().string());
  }
  std::sort(all.begin(), all.end());
  return all;
}

bool can_drop_privileges() { return geteuid() == 0 && getpwnam("nobody") != nullptr; }

namespace {

void set_limit(int resource, long long value) {
  struct rlimit limit = {static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
  setrlimit(resource, &limit);
}

// In a child of fork: enters the folder, applies the limits, drops privileges and starts the
// command. Never returns.
[[noreturn]] void become(const Scratch& folder, std::vector<std::string> command,
                         const RunOptions& options) {
  std::vector<char*> argv;
  for (std::string& word : command) argv.push_back(word.data());
  argv.push_back(nullptr);

  if (chdir(folder.path().c_str()) != 0) _exit(126);
  if (options.memory_limit > 0) set_limit(RLIMIT_AS, options.memory_limit);
  if (options.cpu_seconds > 0) set_limit(RLIMIT_CPU, options.cpu_seconds);
  if (options.file_size_limit > 0) {
    signal(SIGXFSZ, SIG_IGN);
    set_limit(RLIMIT_FSIZE, options.file_size_limit);
  }
  if (options.as_nobody) {
    struct passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr || setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
        setuid(nobody->pw_uid) != 0) {
      _exit(kCannotDropPrivileges);
    }
  }
  // The test runner may ignore signals the program must meet as a user's shell leaves them.
  for (int signal_number : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    signal(signal_number, SIG_DFL);
  }
  execvp(argv[0], argv.data());
  _exit(127);
}

Outcome run_command(const Scratch& folder, std::vector<std::string> command,
                    const RunOptions& options) {
  int to_child[2];
  int from_child[2];
  if (pipe(to_child) != 0 || pipe(from_child) != 0) throw std::runtime_error("pipe failed");
  pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    dup2(to_child[0], STDIN_FILENO);
    dup2(from_child[1], STDOUT_FILENO);
    close(to_child[0]);
    close(to_child[1]);
    close(from_child[0]);
    close(from_child[1]);
    become(folder, std::move(command), options);
  }
  close(to_child[0]);
  close(from_child[1]);
  signal(SIGPIPE, SIG_IGN);

  Outcome outcome;
  std::string_view input = options.input;
  int in_fd = to_child[1];
  if (input.empty()) {
    close(in_fd);
    in_fd = -1;
  }
  char buffer[65536];
  time_t deadline = time(nullptr) + kTimeoutSeconds;
  for (;;) {
    struct pollfd fds[2] = {{from_child[0], POLLIN, 0}, {in_fd, POLLOUT, 0}};
    int count = in_fd >= 0 ? 2 : 1;
    int ready = poll(fds, count, 1000);
    if (ready < 0 && errno != EINTR) break;
    if (time(nullptr) > deadline) {
      kill(child, SIGKILL);
      outcome.out += "<timed out>";
      break;
    }
    if (count == 2 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t put = write(in_fd, input.data(), std::min<std::size_t>(input.size(), 65536));
      if (put > 0) input.remove_prefix(static_cast<std::size_t>(put));
      if (put <= 0 || input.empty()) {
        close(in_fd);
        in_fd = -1;
      }
    }
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      ssize_t got = read(from_child[0], buffer, sizeof buffer);
      if (got <= 0) break;
      outcome.out.append(buffer, static_cast<std::size_t>(got));
    }
  }
  if (in_fd >= 0) close(in_fd);
  close(from_child[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status)) outcome.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  return outcome;
}

// When several Windows programs start at once, wine's loader now and then gives up before the
// program runs at all: it ends with exit code 1 and has printed nothing (about one start in a
// few thousand, a plain "hello" program included). ZELTRIM always prints its banner first, so
// a silent exit 1 is such a failed start, and the run is started once more.
Outcome run_through_loader(const Scratch& folder, const std::vector<std::string>& command,
                           const RunOptions& options) {
  constexpr int kStarts = 3;
  Outcome outcome;
  for (int start = 0; start < kStarts; ++start) {
    outcome = run_command(folder, command, options);
    if (outcome.exit_code != 1 || !outcome.out.empty()) break;
  }
  return outcome;
}

}  // namespace

bool program_is_windows() {
  const char* windows = std::getenv("ZELTRIM_WINDOWS");
  return windows != nullptr && std::string_view(windows) == "1";
}

bool resource_limits_apply() {
#ifdef ZELTRIM_SANITIZED
  return false;
#else
  const char* valgrind = std::getenv("ZELTRIM_VALGRIND");
  return (valgrind == nullptr || *valgrind == '\0') && !program_is_windows();
#endif
}

pid_t start_zeltrim(const Scratch& folder, const std::vector<std::string>& arguments,
                    const RunOptions& options) {
  std::vector<std::string> command = program_command();
  command.insert(command.end(), arguments.begin(), arguments.end());
  pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    close(null);
    become(folder, std::move(command), options);
  }
  return child;
}

Outcome run_zeltrim(const Scratch& folder, const std::vector<std::string>& arguments,
                    const RunOptions& options) {
  std::vector<std::string> command = program_command();
  command.insert(command.end(), arguments.begin(), arguments.end());
  Outcome outcome = program_is_windows() ? run_through_loader(folder, command, options)
                                         : run_command(folder, std::move(command), options);
  if (program_is_windows()) {
    outcome.raw_out = outcome.out;
    outcome.out = lf_lines(outcome.out);
  }
  return outcome;
}

Outcome run_windows_tool(const Scratch& folder, const std::vector<std::string>& command) {
  if (!program_is_windows()) throw std::logic_error("a Windows tool needs a Windows program");
  std::vector<std::string> loader = program_command();
  loader.pop_back();
  loader.insert(loader.end(), command.begin(), command.end());
  Outcome outcome = run_through_loader(folder, loader, {});
  outcome.out = lf_lines(outcome.out);
  return outcome;
}

std::string banner() {
  return "ZELTRIM.EXE - Text File Modifier - 3.1\n\n"
         "Copyright (C) 2026 The ZELTRIM developers - Release: 20000719\n\n";
}

std::string closing_success() { return "\nZELTRIM.EXE ended successfully\n"; }

std::string closing_errors() { return "\nZELTRIM.EXE ended with errors\n"; }

}  // namespace zeltrim::e2e
