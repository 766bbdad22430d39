// Most end-to-end cases are rows: every rows/*.rows file is read when the suite starts, and each
// case becomes a test named FILE.CASE; its bytes are made only when it runs, as a case may hold
// megabytes. Blank lines and lines beginning with // are skipped. A case:
//
//   NAME[ WORD...]: LINES  begins it: LINES are those of the instruction file i.zt (none: no
//                          i.zt). A WORD is a mark: posix or windows (runs only for that
//                          program), root (runs only as root), nobody (runs as the unprivileged
//                          user), fsize=BYTES, mem=N (32 MB and N bytes per byte of the files
//                          written, and a minute of CPU time; only where such limits do not stop
//                          a sanitizer, valgrind or a loader first), limits (runs only there),
//                          patch (the job's diff, applied by patch to the files as they were,
//                          gives the files it leaves), converges (run again under /o, it
//                          changes nothing, as every row of commands.rows but those marked
//                          grows), tmpdir=FOLDER (TMPDIR for the run), stdin=FILE (the
//                          file that is standard input), json (standard output is the JSON
//                          report alone, checked against its schema), quiet (no banner and no
//                          closing line); or a form of i.zt.
//   args: WORDS|WORDS...   the command line, i.zt unless given; "" is an empty word. Each
//                          alternative between | is run in turn.
//   <NAME[ FORM]: LINES    a file written before the run (its folders made as needed).
//   setup: COMMANDS        shell commands run in the folder then (links, modes, owners), each
//                          line of them in turn, the first that fails ending them; $LOADER
//                          is the loader that starts the Windows program (to start its tools).
//   out: LINES             what the run prints between the banner and the closing line of exit
//   exit N: LINES          code 0, or N; a line that begins with a label of kLabels is that
//                          message with the rest of the line in it. A mark stdout=full or
//                          stdout=closed gives the run a full disk or no standard output.
//   err: LINES             what the run writes on standard error (not looked at without it).
//   >NAME[ FORM]: LINES    a file as the run must leave it. Every other file there before the
//                          run must be left untouched, and no file may appear that is not named.
//   <>NAME[ FORM]: LINES => LINES  both at once, the second in the form the program writes
//                          (the same encoding, each line CR LF, the end mark).
//   then: COMMANDS         shell commands run in the folder after the run, which must succeed.
// A line beginning with | goes on with the LINES of the line before.
//
// LINES are separated by |. Each line of a file is followed by CR LF and the whole by the end
// mark 0x1A, the form the program writes (i.zt has no end mark), unless a word chooses another:
// crlf (no end mark), lf or raw (nothing after a line); u8, u16le, u16be and u32be put the text
// after the byte-order mark of that encoding, each byte one code unit (and no end mark after
// UTF-16 or UTF-32); utf16le turns UTF-8 text into UTF-16LE. Escapes: \r \n \t \\ \| \xNN, and {02}
// for the field separator. {N*TEXT} is TEXT N times, the | in it separating lines too. In the
// output, {...} stands for any bytes (a line of it alone for any lines, or none), and \c at the
// end for no final line break. The program's standard input is empty unless a mark says.
//
// Beyond the rows: the examples gallery and the corpus of real files, runs ended by a signal at
// a random moment, and test mode at a terminal.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <thread>

namespace zeltrim::e2e {
namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string environment(const char* name) { return getenv(name) != nullptr ? getenv(name) : ""; }

// ZELTRIM_WINDOWS=1: ZELTRIM_COMMAND starts zeltrim.exe through a loader such as wine.
bool on_windows() { return environment("ZELTRIM_WINDOWS") == "1"; }

std::string bytes_of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

// A fresh, empty folder, removed with everything in it at the end.
struct Scratch {
  Scratch() : path((fs::temp_directory_path() / "zeltrim-e2e-XXXXXX").string()) {
    if (mkdtemp(path.data()) == nullptr) throw std::runtime_error("no temporary folder");
    chmod(path.c_str(), 0777);  // so that an unprivileged run may work in it too
  }
  ~Scratch() { fs::remove_all(path); }
  std::string file(const std::string& name) const { return path + "/" + name; }
  std::string read(const std::string& name) const { return bytes_of(file(name)); }
  void write(const std::string& name, const std::string& bytes) const {  // folders made as needed
    fs::create_directories(fs::path(file(name)).parent_path());
    std::ofstream(file(name), std::ios::binary) << bytes;
  }
  std::set<std::string> names() const {  // everything in it, subfolders too
    std::set<std::string> all;
    for (const auto& entry : fs::recursive_directory_iterator(path))
      all.insert(entry.path().string().substr(path.size() + 1));
    return all;
  }
  std::string path;
};

struct Limits {
  long long memory = 0, file_size = 0, cpu_seconds = 0;  // 0: none
  bool as_nobody = false;                                // run as the unprivileged user
  std::string out;     // standard output is "full" (a full disk) or "closed", or the pipe read
  std::string tmpdir;  // TMPDIR for the run, where given
  std::string input;   // the file that is standard input, where given (else it is empty)
};

// What a run printed on standard output (for a Windows program each CR LF made LF again) and on
// standard error, and its exit code (128 and the number of a signal that ended it).
struct Outcome {
  std::string out, err;
  int code = 0;
};

const std::string kBanner =
    "ZELTRIM.EXE - Text File Modifier - 3.1\n\nCopyright (C) 2026 The ZELTRIM developers - "
    "Release: 20000719\n\n";
// What a run prints last, by its exit code 0, 1, 2 or 3.
const std::string kClosing[] = {"\nZELTRIM.EXE ended successfully\n", "",
                                "\nZELTRIM.EXE ended with errors\n",
                                "\nZELTRIM.EXE ended successfully\n"};

// Memory and CPU limits would stop a sanitizer, valgrind (ZELTRIM_VALGRIND) or a loader first.
bool limits_apply() {
  return !ZELTRIM_SANITIZED && environment("ZELTRIM_VALGRIND").empty() && !on_windows();
}

std::vector<std::string> program(const std::vector<std::string>& arguments) {
  std::istringstream command(
      environment("ZELTRIM_COMMAND").empty() ? ZELTRIM_BINARY : environment("ZELTRIM_COMMAND"));
  std::vector<std::string> words(std::istream_iterator<std::string>(command), {});
  words.insert(words.end(), arguments.begin(), arguments.end());
  return words;
}

// A command made ready before fork: a child of a process with threads (twenty runs at once) may
// meet a lock another thread held at the fork, so it allocates nothing and looks nothing up.
struct Start {
  explicit Start(std::vector<std::string> command, const std::string& tmpdir = "")
      : words(std::move(command)) {
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    for (char** variable = environ; *variable != nullptr; ++variable)
      if (tmpdir.empty() || !std::string_view(*variable).starts_with("TMPDIR="))
        variables.emplace_back(*variable);
    if (!tmpdir.empty()) variables.push_back("TMPDIR=" + tmpdir);
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    static const passwd* const user = getpwnam("nobody");  // once: the threads share it
    if (user != nullptr) nobody = {user->pw_uid, user->pw_gid};
  }
  std::vector<std::string> words, variables;
  std::vector<char*> argv, envp;
  std::optional<std::pair<uid_t, gid_t>> nobody;
};

// In a child of fork: enters `folder`, applies `limits` and starts the command, its input empty
// and its output to `out` when one is given. Never returns.
[[noreturn]] void become(const std::string& folder, const Start& start, const Limits& limits = {},
                         int out = -1, int err = -1) {
  if (out >= 0 && dup2(out, STDOUT_FILENO) == STDOUT_FILENO)
    dup2(open(limits.input.empty() ? "/dev/null" : limits.input.c_str(), 0), STDIN_FILENO);
  if (err >= 0) dup2(err, STDERR_FILENO);
  if (limits.out == "full") dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO);
  if (limits.out == "closed") close(STDOUT_FILENO);
  for (auto [resource, value] : {std::pair{RLIMIT_AS, limits.memory},
                                 {RLIMIT_CORE, 0ll},
                                 {RLIMIT_CPU, limits.cpu_seconds},
                                 {RLIMIT_FSIZE, limits.file_size}}) {
    struct rlimit both = {static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
    if (value > 0 || resource == RLIMIT_CORE) setrlimit(resource, &both);
  }
  if (limits.as_nobody && (!start.nobody || setgroups(0, nullptr) != 0 ||
                           setgid(start.nobody->second) != 0 || setuid(start.nobody->first) != 0)) {
    _exit(125);
  }
  signal(SIGXFSZ, SIG_IGN);  // a full disk is a failed write, not a dead program
  // The test runner may ignore signals the program must meet as a user's shell leaves them.
  for (int number : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) signal(number, SIG_DFL);
  alarm(120);  // kept across exec: a program that hangs is ended
  if (chdir(folder.c_str()) == 0) execvpe(start.argv[0], start.argv.data(), start.envp.data());
  _exit(127);
}

Outcome run(const Scratch& folder, const std::vector<std::string>& command,
            const Limits& limits = {}) {
  Outcome got;
  // When several Windows programs start at once, wine's loader now and then gives up before the
  // program runs: exit code 1, nothing printed. ZELTRIM always prints its banner first, so a
  // silent exit 1 is such a failed start, and the program is started again.
  const Start start(command, limits.tmpdir);
  for (int tries = 0; tries == 0 || (on_windows() && tries < 3 && got.code == 1 && got.out.empty());
       ++tries) {
    int out[2], status = 0;
    std::string errors = folder.path + ".err";  // beside the folder: no file of the run
    int err = open(errors.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0666);
    if (pipe(out) != 0 || err < 0) throw std::runtime_error("no pipe");
    pid_t child = fork();
    if (child == 0) become(folder.path, start, limits, out[1], err);
    close(out[1]);
    close(err);
    char buffer[65536];
    got.out.clear();
    for (ssize_t size; (size = read(out[0], buffer, sizeof buffer)) > 0;)
      got.out.append(buffer, size);
    close(out[0]);
    waitpid(child, &status, 0);
    got.code = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    got.err = bytes_of(errors);
    fs::remove(errors);
  }
  if (!on_windows()) return got;
  for (std::string* text : {&got.out, &got.err}) {
    std::string lines;  // the output is in text mode there: its CR LF made LF again
    for (char byte : *text) {
      bool crlf = byte == '\n' && lines.ends_with('\r');
      EXPECT_TRUE(crlf || byte != '\n') << "a line break without CR in text mode";
      lines.resize(lines.size() - crlf);
      lines += byte;
    }
    *text = lines;
  }
  return got;
}

std::vector<std::string> temporaries(const Scratch& folder) {
  std::vector<std::string> found;
  for (const std::string& name : folder.names())
    if (name.find(".zeltrim-") != std::string::npos) found.push_back(name);
  return found;
}

using Words = std::map<std::string, std::string>;  // "KEY=VALUE" by KEY, other words with ""
using Arguments = std::vector<std::string>;

struct Case {
  Words marks;
  std::vector<std::string> arguments{"i.zt"};
  std::string out, setup, then;    // out: everything printed; "{...}" stands for any bytes
  std::optional<std::string> err;  // standard error, where the case says
  int exit_code = 0;
  std::map<std::string, std::string> before, after;  // the files, by name
};

// Equal bytes, or, where `want` holds "{...}", the same start and end around any bytes.
void expect_bytes(const std::string& got, const std::string& want, const std::string& what) {
  std::size_t any = want.find("{...}");
  bool same = any == std::string::npos
                  ? got == want
                  : got.size() + 5 >= want.size() && got.starts_with(want.substr(0, any)) &&
                        got.ends_with(want.substr(any + 5));
  bool small = got.size() + want.size() < 100'000;  // megabytes would drown the report
  EXPECT_TRUE(same) << what << " is " << (small ? testing::PrintToString(got) : "other") << ", not "
                    << (small ? testing::PrintToString(want) : "as expected");
}

void shell(const Scratch& folder, const std::string& commands) {
  if (commands.empty()) return;
  EXPECT_EQ(std::system(("set -e; cd " + folder.path + "\n" + commands).c_str()), 0) << commands;
}

// A JSON report holds to the schema that ships with the program, where Python's jsonschema is
// there to say so.
void check_report(const std::string& report) {
  fs::path file = fs::temp_directory_path() / ("zeltrim-report-" + std::to_string(getpid()) + "-" +
                                               std::to_string(std::hash<std::string>{}(report)));
  std::ofstream(file, std::ios::binary) << report;
  fs::path source(ZELTRIM_SOURCE_DIR);
  std::string command = "python3 " + (source / "tests/e2e/validate_report.py").string() + " " +
                        (source / "share/report.schema.json").string() + " < " + file.string();
  int status = std::system(command.c_str());
  fs::remove(file);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
    GTEST_SKIP() << "python3-jsonschema is missing: the report is not checked against its schema";
  EXPECT_EQ(status, 0) << "the report does not hold to share/report.schema.json";
}

// The mark of a case that keeps it from running here, or none.
std::string mark_not_run_here(const Words& marks) {
  bool windows = on_windows(), root = geteuid() == 0;
  // Valgrind makes its own files in TMPDIR and gives up where that folder is missing.
  for (std::string mark : {windows ? "posix" : "windows", limits_apply() ? "" : "limits",
                           root || windows ? "" : "root", root || windows ? "" : "nobody",
                           environment("ZELTRIM_VALGRIND").empty() ? "" : "tmpdir"})
    if (marks.contains(mark)) return mark;
  return "";
}

void check(const Case& c) {
  if (std::string mark = mark_not_run_here(c.marks); !mark.empty())
    GTEST_SKIP() << "a case marked " << mark << " does not run here";
  auto mark = [&c](const char* name) { return c.marks.contains(name) ? c.marks.at(name) : ""; };
  long long written = 0, bound = limits_apply() && c.marks.contains("mem");
  for (const auto& [name, bytes] : c.before) written += static_cast<long long>(bytes.size());
  // Root may write anything, so permission cases run as nobody; on Windows the read-only
  // attribute binds every user alike. A minute of CPU time is far beyond any run.
  Limits limits{bound * ((32ll << 20) + std::atoll(mark("mem").c_str()) * written),
                std::atoll(mark("fsize").c_str()),
                bound * 60,
                c.marks.contains("nobody") && !on_windows(),
                mark("stdout"),
                mark("tmpdir")};
  Scratch folder;
  for (const auto& [name, bytes] : c.before) folder.write(name, bytes);
  shell(folder, c.setup);
  if (c.marks.contains("stdin")) limits.input = folder.file(c.marks.at("stdin"));
  std::map<std::string, std::pair<struct stat, std::string>> found;  // before the run
  for (const std::string& name : folder.names()) {
    lstat(folder.file(name).c_str(), &found[name].first);
    if (S_ISREG(found[name].first.st_mode)) found[name].second = folder.read(name);
  }
  auto [out, err, exit_code] = run(folder, program(c.arguments), limits);
  if (limits.out.empty()) expect_bytes(out, c.out, "standard output");
  if (c.err) expect_bytes(err, *c.err, "standard error");
  EXPECT_EQ(exit_code, c.exit_code);
  if (c.marks.contains("json")) check_report(out);
  shell(folder, c.then);
  std::set<std::string> names;
  for (const auto& [name, bytes] : c.after) names.insert(name);
  for (const auto& [name, then] : found) names.insert(name);
  EXPECT_EQ(folder.names(), names) << "no file but those named, no temporary file in particular";
  for (const auto& [name, bytes] : c.after) expect_bytes(folder.read(name), bytes, name);
  // A file the run must not change is not even touched: same file, same modification time.
  for (const auto& [name, then] : found) {
    struct stat now {};
    if (c.after.contains(name) || S_ISDIR(then.first.st_mode)) continue;
    lstat(folder.file(name).c_str(), &now);
    EXPECT_TRUE(now.st_ino == then.first.st_ino &&
                now.st_mtim.tv_sec == then.first.st_mtim.tv_sec &&
                now.st_mtim.tv_nsec == then.first.st_mtim.tv_nsec)
        << name << " was rewritten";
    if (S_ISREG(now.st_mode)) expect_bytes(folder.read(name), then.second, name);
  }
}

// The diffs a run printed: from each "--- " line that a "+++ " line follows to the first line
// that is no line of a diff; a diff of UTF-8 lines (UTF-16 and UTF-32 text) is no patch, and
// its file is named in `texts`.
std::string diffs_in(const std::string& out, std::set<std::string>& texts) {
  const std::string kText = "The diff of ", kTextEnd = " shows its lines as UTF-8 text;";
  std::string diffs;
  bool inside = false, text = false, noted = false;  // noted: the line before says "text"
  for (std::size_t at = 0, end; at < out.size(); at = end) {
    end = std::min(out.find('\n', at), out.size() - 1) + 1;
    std::string line = out.substr(at, end - at);
    if (line.starts_with("--- ") && out.compare(end, 4, "+++ ") == 0) inside = true, text = noted;
    if (inside && std::string(" -+@\\").find(line[0]) == std::string::npos) inside = false;
    if (inside && !text) diffs += line;
    noted = line.starts_with(kText) && line.find(kTextEnd) != std::string::npos;
    if (noted) texts.insert(line.substr(kText.size(), line.find(kTextEnd) - kText.size()));
  }
  return diffs;
}

// /d is a patch: the diffs of a job run under /n, applied by patch to the files as they were,
// give the files as the job leaves them (a backup aside, which patch does not make).
void check_patch(const std::map<std::string, std::string>& before, const std::string& setup,
                 std::vector<std::string> arguments) {
  std::erase(arguments, "/n");
  Scratch preview, patched, real;
  for (const Scratch* folder : {&preview, &patched, &real}) {
    for (const auto& [name, bytes] : before) folder->write(name, bytes);
    shell(*folder, setup);
  }
  run(real, program(arguments));
  arguments.insert(arguments.end(), {"/n", "/d"});
  std::set<std::string> texts;
  std::string diff = diffs_in(run(preview, program(arguments)).out, texts);
  std::ofstream(patched.path + ".diff", std::ios::binary) << diff;
  if (!diff.empty())
    shell(patched, "patch -s -p0 --no-backup-if-mismatch < ../" +
                       fs::path(patched.path).filename().string() + ".diff");
  fs::remove(patched.path + ".diff");
  std::set<std::string> names;
  for (const Scratch* folder : {&patched, &real})
    for (const std::string& name : folder->names())
      if (!name.ends_with(".bak") && !texts.contains(name) &&
          fs::is_regular_file(folder->file(name)))
        names.insert(name);
  for (const std::string& name : names) {  // no diff makes patch make an empty file
    if (real.read(name).empty() && patched.read(name) == "<missing>") continue;
    EXPECT_EQ(patched.read(name), real.read(name)) << name << " patched, against the run";
  }
}

// The program's messages by their labels, the rest of a row's line in place of %s.
// clang-format off
const std::map<std::string, std::string> kLabels = {
    {"BOTTOM", "  BOTTOM line reads          : %s"}, {"TOP", "  TOP line reads             : %s"},
    {"REMOVED", "  REMOVED line that read     : %s"}, {"MAKING", "Making changes to %s"},
    {"APPEND", "  APPEND AFTER line reads    : %s"}, {"STORED", "TEST MODE: stored: %s"},
    {"SWAPPED", "  SWAPPED line now reads     : %s"}, {"OP", "TEST MODE: operation is %s\n"},
    {"CONCAT", "  CONCAT line now reads      : %s"}, {"TESTMODE", "Invoked in TEST mode \n%s"},
    {"VARSUB", "  VARSUB line now reads      : %s"},
    {"ENDLESS", "  VARSUB never ends, kept    : %s"},
    {"UNCONCAT", "  UNCONCAT line now reads      : %s"},
    {"INVALID", "Invalid command found on line %s"},
    {"MISSING", "Missing field separator on line %s - command ignored"},
    {"NOOPEN", "Error opening file %s in ZELTRIM.EXE"},
    {"LOSSY", "Error - %s cannot be edited without losing characters, file left unchanged"},
    {"UNWRITTEN", "Error writing %s, file left unchanged"},
    {"LEAVING", "TEST MODE: leaving get_target_file%s"},
    {"DONE", "TEST MODE: end of %s operation\n\nTEST MODE: Press ENTER to continue...\n"},
    {"ALREADY", "  ALREADY PRESENT line       : %s"},
    {"NOWRITE", "Invoked in NO-WRITE mode - no file is changed\n%s"},
    {"WOULD", "NO-WRITE mode: %s would be changed"},
    {"BACKUP", "  BACKUP of old file kept as : %s"},
    {"NOTARGET", "No target loaded for the command on line %s"},
    {"CHANGED", "Error - %s was changed by another program while it was being edited, file left unchanged"},
    {"WHY", "zeltrim: %s"}};
// clang-format on

// LINES as bytes: split at each |, {N*TEXT} written out, escapes turned into bytes.
std::vector<std::string> decode(std::string_view text) {
  static const std::map<char, char> kEscapes = {
      {'r', '\r'}, {'n', '\n'}, {'t', '\t'}, {'\\', '\\'}, {'|', '|'}};
  std::vector<std::string> lines(text.empty() ? 0 : 1);
  for (std::size_t at = 0; at < text.size(); ++at) {
    std::size_t star = text.find_first_not_of("0123456789", at + 1), end = star + 1;
    char next = at + 1 < text.size() ? text[at + 1] : '\0';
    if (text[at] == '{' && star > at + 1 && star < text.size() && text[star] == '*') {
      for (int depth = 1; depth > 0 && end < text.size(); ++end)
        depth += (text[end] == '{') - (text[end] == '}');
      std::vector<std::string> once = decode(text.substr(star + 1, end - star - 2));
      for (long count = std::stol(std::string(text.substr(at + 1))); count > 0; --count) {
        lines.back() += once.empty() ? "" : once[0];
        lines.insert(lines.end(), once.begin() + !once.empty(), once.end());
      }
      at = end - 1;
    } else if (text[at] == '|') {
      lines.emplace_back();
    } else {
      bool hex = text[at] == '\\' && next == 'x',
           escape = text[at] == '\\' && kEscapes.contains(next);
      bool separator = text.substr(at, 4) == "{02}";
      lines.back() +=
          hex      ? static_cast<char>(std::stoi(std::string(text.substr(at + 2, 2)), nullptr, 16))
          : escape ? kEscapes.at(next)
          : separator ? '\x02'
                      : text[at];
      at += hex || separator ? 3 : escape;
    }
  }
  return lines;
}

std::string report(std::string_view lines) {
  std::string out;
  for (const std::string& line : decode(lines)) {
    std::size_t space = std::min(line.find(' '), line.size());
    auto label = kLabels.find(line.substr(0, space));
    std::string message = label == kLabels.end() ? "%s" : label->second;
    std::string rest =
        label == kLabels.end() ? line : line.substr(std::min(space + 1, line.size()));
    out += message.substr(0, message.find("%s")) + rest + message.substr(message.find("%s") + 2) +
           (line == "{...}" ? "" : "\n");  // any lines, or none
  }
  if (out.ends_with("\\c\n")) out.resize(out.size() - 3);
  return out;
}

// LINES as a file in the form that `words` choose; `end_mark` unless they choose another.
std::string file_of(const Words& words, const std::string& lines, bool end_mark = true) {
  // Each encoding's byte-order mark, and the zero bytes of a code unit before its byte (after
  // it, little-endian, when negative).
  static const std::map<std::string, std::pair<std::string, int>> kEncodings = {
      {"u8", {"\xEF\xBB\xBF", 0}},
      {"u16le", {"\xFF\xFE", -1}},
      {"u16be", {"\xFE\xFF", 1}},
      {"u32be", {std::string("\0\0\xFE\xFF", 4), 3}}};
  std::string bytes;
  int zeros = 0;
  for (const auto& [name, encoding] : kEncodings)
    if (words.contains(name)) std::tie(bytes, zeros) = encoding;
  std::string text;
  for (const std::string& line : decode(lines))
    text += line + (words.contains("lf") ? "\n" : words.contains("raw") ? "" : "\r\n");
  if (words.contains("utf16le")) {  // UTF-8 text in UTF-16LE, two units above U+FFFF
    bytes = "\xFF\xFE";
    for (std::size_t at = 0; at < text.size();) {
      auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
      int length = byte(0) < 0xC0 ? 1 : byte(0) < 0xE0 ? 2 : byte(0) < 0xF0 ? 3 : 4;
      unsigned code = length == 1 ? byte(0) : byte(0) & (0x7F >> length);
      for (int i = 1; i < length; ++i) code = code << 6 | (byte(i) & 0x3F);
      at += length;
      for (unsigned unit :
           code < 0x10000 ? std::vector<unsigned>{code}
                          : std::vector<unsigned>{0xD7C0 + (code >> 10), 0xDC00 + (code & 0x3FF)})
        bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    }
    return bytes;
  }
  for (char byte : text)
    bytes += zeros < 0 ? std::string{byte, '\0'} : std::string(zeros, '\0') + byte;
  // UTF-16 and UTF-32 end with their last code unit: the written form has no end mark there.
  bool layout = words.contains("crlf") || words.contains("lf") || words.contains("raw");
  return bytes + (end_mark && !layout && zeros == 0 ? "\x1A" : "");
}

// A row's case, checked once for each alternative command line.
// Under /o, a command row's job run a second time on what its first run left changes nothing:
// every file stays untouched.
void check_once_converges(const Case& c) {
  Scratch folder;
  for (const auto& [name, bytes] : c.before) folder.write(name, bytes);
  std::vector<std::string> once = c.arguments;
  once.push_back("/o");
  run(folder, program(once));
  Case again{.marks = c.marks, .arguments = once, .out = "{...}"};
  for (const std::string& name : folder.names()) again.before[name] = folder.read(name);
  again.exit_code = run(folder, program(once)).code;
  check(again);
}

class Row : public testing::Test {
 public:
  Row(std::vector<std::string> lines, bool once) : lines_(std::move(lines)), once_(once) {}

 private:
  void TestBody() override {
    Case made;
    std::vector<std::string> runs = {"i.zt"};
    for (const std::string& line : lines_) {
      std::size_t colon = line.find(':');
      std::string head = line.substr(0, colon),
                  value = line.substr(colon + 1 + (line[colon + 1] == ' '));
      std::string key = head.substr(0, head.find(' '));
      std::istringstream words(head.substr(key.size()));
      Words form;
      for (std::string word; words >> word;) {
        std::size_t equals = std::min(word.find('='), word.size());
        form[word.substr(0, equals)] = word.substr(std::min(equals + 1, word.size()));
      }
      if (&line == &lines_[0]) made.marks = form;
      // Known before its files are made, some of which are large.
      if (std::string mark = mark_not_run_here(made.marks); !mark.empty())
        GTEST_SKIP() << "a case marked " << mark << " does not run here";
      if (&line == &lines_[0] && !value.empty()) made.before["i.zt"] = file_of(form, value, false);
      if (key == "args") runs = value.empty() ? std::vector<std::string>{""} : decode(value);
      if (key == "setup") made.setup += value + "\n";
      if (key == "then") made.then += value + "\n";
      if (key == "exit") made.exit_code = std::stoi(head.substr(5));
      if (key == "out" || key == "exit")  // a bare run ends without a closing line
        made.out = made.marks.contains("json") || made.marks.contains("quiet")
                       ? report(value)
                       : kBanner + report(value) +
                             (made.marks.contains("bare") ? "" : kClosing[made.exit_code]);
      if (key == "err") made.err = report(value);
      std::string name = decode(key.substr(key.find_first_not_of("<>"))).at(0);
      std::size_t arrow = !key.starts_with("<>")     ? std::string::npos
                          : value.starts_with("=> ") ? 0
                                                     : value.find(" => ");
      if (key.starts_with('<')) made.before[name] = file_of(form, value.substr(0, arrow));
      if (key.starts_with('>')) made.after[name] = file_of(form, value);
      for (const char* layout : {"crlf", "lf", "raw"}) form.erase(layout);  // the written form
      if (arrow != std::string::npos)
        made.after[name] = file_of(form, value.substr(arrow + 3 + !!arrow));
    }
    for (const std::string& run : runs) {
      SCOPED_TRACE("arguments: " + run);
      std::istringstream words(run);
      made.arguments.assign(std::istream_iterator<std::string>(words), {});
      for (std::string& word : made.arguments) word = word == "\"\"" ? "" : word;
      check(made);
      if ((once_ && !made.marks.contains("grows")) || made.marks.contains("converges"))
        check_once_converges(made);
      if (made.marks.contains("patch")) check_patch(made.before, made.setup, made.arguments);
    }
  }
  std::vector<std::string> lines_;
  bool once_;  // the rows of commands: run twice under /o as well
};

// Each folder of the gallery is a job: its instruction file (*.ZT), the options in its file
// `options` if any, the files it edits, and in expected/ the files as the job leaves them and
// everything it prints (report.txt).
TEST(Gallery, EveryJobGivesItsReportAndFiles) {
  int jobs = 0;
  for (const auto& job : fs::directory_iterator(fs::path(ZELTRIM_SOURCE_DIR) / "examples")) {
    if (!fs::is_directory(job.path() / "expected")) continue;
    SCOPED_TRACE(job.path().filename().string());
    Case given{.arguments = {}};
    for (const auto& file : fs::directory_iterator(job.path())) {
      std::string name = file.path().filename().string();
      if (file.is_regular_file() && name != "README.md" && name != "options")
        given.before[name] = bytes_of(file.path());
      if (name.ends_with(".ZT")) given.arguments.insert(given.arguments.begin(), name);
    }
    // The options the job is run with: the words of the first line of its file `options`.
    std::string options = bytes_of(job.path() / "options");
    std::istringstream words(options == "<missing>" ? "" : options.substr(0, options.find('\n')));
    for (std::string word; words >> word;) given.arguments.push_back(word);
    for (const auto& file : fs::directory_iterator(job.path() / "expected")) {
      std::string name = file.path().filename().string();
      (name == "report.txt" ? given.out : given.after[name]) = bytes_of(file.path());
    }
    given.exit_code = given.out.ends_with(kClosing[0]) ? 0 : 2;
    check(given);
    check_patch(given.before, "", given.arguments);
    given.arguments.push_back("/k");
    check_patch(given.before, "", given.arguments);
    ++jobs;
  }
  EXPECT_GE(jobs, 6) << "a gallery that went missing must not pass as a gallery of nothing";
}

// Every real file is brought to the program's written form by one run, and a second run then
// leaves it untouched: a file in the written form is not changed at all. In its own form (/k),
// no file is touched by a job that changes no line. The diff of a job, applied by patch to a
// plain or UTF-8 file as it was, gives the file the job leaves, with /k and without.
TEST(Corpus, WrittenFormIsAFixedPoint) {
  fs::path corpus = fs::path(ZELTRIM_SOURCE_DIR) / ".." / "shared" / "corpus";
  if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus beside the project";
  int files = 0;
  for (const auto& file : fs::directory_iterator(corpus)) {
    std::string name = file.path().filename().string(), original = bytes_of(file.path());
    if (name == "SOURCES.md" || name.starts_with(".")) continue;
    SCOPED_TRACE(name);
    Scratch folder;
    folder.write("T", original);
    folder.write("i.zt", ".F T\r\n");
    ASSERT_EQ(run(folder, program({"i.zt"})).code, 0);
    std::string once = folder.read("T");
    check({.out = kBanner + "Making changes to T\n\n" + kClosing[0],
           .before = {{"T", once}, {"i.zt", ".F T\r\n"}}});
    check({.arguments = {"i.zt", "/k"},
           .out = kBanner + "Making changes to T\n\n" + kClosing[0],
           .before = {{"T", original}, {"i.zt", ".F T\r\n"}}});
    ++files;
    if (once.starts_with("\xFF") || once.starts_with("\xFE") || once.starts_with('\0')) continue;
    std::map<std::string, std::string> job = {{"T", original},
                                              {"i.zt",
                                               ".F T\r\n.T first\r\n.I last\r\n.V e\x02"
                                               "E\r\n.R rem\r\n"}};
    check_patch(job, "", {"i.zt"});
    check_patch(job, "", {"i.zt", "/k"});
  }
  EXPECT_GT(files, 20);
}

void register_rows(const std::string& file) {
  std::ifstream in(file);
  std::vector<std::vector<std::string>> cases;
  const std::set<std::string> keys = {"args", "setup", "out", "exit", "then", "err"};
  for (std::string line; std::getline(in, line);) {
    std::string key = line.substr(0, line.find_first_of(" :"));
    if (line.empty() || line.starts_with("//")) continue;
    if (line.find(':') == std::string::npos && !line.starts_with('|'))
      throw std::runtime_error(file + ": " + line);
    if (line.starts_with('|'))
      cases.back().back() += line;
    else if (keys.contains(key) || key.starts_with('<') || key.starts_with('>'))
      cases.back().push_back(line);
    else
      cases.push_back({line});
  }
  for (const auto& lines : cases) {
    std::string name = lines[0].substr(0, lines[0].find_first_of(" :"));
    testing::RegisterTest(fs::path(file).stem().c_str(), name.c_str(), nullptr, nullptr, __FILE__,
                          __LINE__, [lines, file]() -> testing::Test* {
                            return new Row(lines, fs::path(file).stem() == "commands");
                          });
  }
}

// Waits until `done`, doing `step` meanwhile, for `limit` at most.
bool wait_until(auto done, auto step, Clock::duration limit = 30s) {
  for (auto until = Clock::now() + limit; !done() && Clock::now() < until;) step();
  return done();
}

// Runs ended by the signal at a random moment, half of them while a large target is being
// written back: the target is always exactly the old or exactly the new content. SIGKILL may
// leave the temporary file; a signal the program can catch removes it.
class Interruption : public testing::TestWithParam<int> {};

TEST_P(Interruption, TargetIsAlwaysTheOldOrTheNewContent) {
  if (on_windows()) GTEST_SKIP() << "POSIX signals; a loader stands between them and it";
  const std::string lines = "S{99999*|SET VARIABLE=SOME VALUE THAT FILLS A LINE}";
  const std::string old_target = file_of({}, lines), new_target = file_of({}, lines + "|X");
  Scratch folder;
  folder.write("i.zt", ".F T\r\n.I X\r\n");
  std::mt19937 random(std::random_device{}());
  const int runs = limits_apply() ? 24 : 6;  // fewer where every run is slow
  int killed_while_writing = 0;
  // Half the runs end at any moment of their first 20 ms, half in the first 2 ms of the
  // write-back; more follow until half of them have hit a write-back.
  for (int run = 0; run < runs || (killed_while_writing < runs / 2 && run < runs * 4); ++run) {
    folder.write("T", old_target);
    fs::remove(folder.file("T.bak"));
    // Every other two runs keep a backup: where the target is new, it holds the old content.
    bool backup_kept = run % 4 >= 2;
    Start start(program(backup_kept ? std::vector<std::string>{"i.zt", "/b"}
                                    : std::vector<std::string>{"i.zt"}));
    pid_t child = fork();
    if (child == 0) become(folder.path, start, {}, open("/dev/null", O_WRONLY));
    bool at_write_back = run % 2 == 1 || run >= runs;
    wait_until([&] { return !at_write_back || !temporaries(folder).empty(); },
               [] { std::this_thread::sleep_for(100us); }, 1min);
    std::this_thread::sleep_for(1us * (random() % (at_write_back ? 2000 : 20000)));
    bool writing = !temporaries(folder).empty();
    int status = 0;
    kill(child, GetParam());
    waitpid(child, &status, 0);
    killed_while_writing += WIFSIGNALED(status) && writing;
    std::string after = folder.read("T");
    ASSERT_TRUE(after == old_target || after == new_target)
        << "run " << run << ": neither the old nor the new content (" << after.size() << " bytes)";
    bool bak_made = fs::exists(folder.file("T.bak"));
    EXPECT_TRUE(bak_made ? folder.read("T.bak") == old_target : after == old_target || !backup_kept)
        << "run " << run << ": a new target without its old content kept";
    for (const std::string& name : temporaries(folder)) {
      EXPECT_TRUE(GetParam() == SIGKILL &&
                  (name.starts_with("T.zeltrim-") || name.starts_with("T.bak.zeltrim-")))
          << "run " << run << " left " << name;
      fs::remove(folder.file(name));
    }
    fs::remove(folder.file("T.bak"));
    EXPECT_EQ(folder.names(), (std::set<std::string>{"T", "i.zt"}));
  }
  EXPECT_GE(killed_while_writing, runs / 2);
}

INSTANTIATE_TEST_SUITE_P(Signals, Interruption, testing::Values(SIGKILL, SIGTERM, SIGINT));

// The system calls of real runs, traced (Linux): each file's new content reaches the disk after
// its last write (fsync, fdatasync or a syncfs) before it takes its name; every name a run makes
// lasts once its folder is synced, before the run ends; a backup's name lasts before its target
// is replaced. Each file is followed by its name, not by a fixed order of calls, so a run that
// writes every file before it renames any keeps to this as well as one that takes them in turn.
TEST(Durability, NewContentAndNamesReachTheDiskInOrder) {
  const char* why = on_windows()                               ? "under wine"
                    : !environment("ZELTRIM_VALGRIND").empty() ? "under valgrind"
                    : ZELTRIM_SANITIZED ? "in a sanitized build (its leak check stops under strace)"
                    : std::system("strace -V >/dev/null 2>&1") ? "without strace (Debian package)"
                                                               : nullptr;
  if (why != nullptr) GTEST_SKIP() << "the program's system calls are not traced " << why;
  for (bool backup : {false, true}) {
    Scratch folder;
    folder.write("A", file_of({}, "{40000*SET LINE=SOME VALUE}"));
    folder.write("B", file_of({}, "B"));
    folder.write("i.zt", ".F A\r\n.I X\r\n.G B\r\n.I Y\r\n.G C\r\n.I Z\r\n");
    std::string log = folder.path + ".trace", here = fs::canonical(folder.path).string(), line;
    // Only the calls that succeed, each file by its path.
    Arguments command = program(backup ? Arguments{"i.zt", "/b"} : Arguments{"i.zt"});
    command.insert(command.begin(), {"strace", "-fyzo", log, "-etrace=%file,%desc"});
    ASSERT_EQ(run(folder, command).code, 0);
    // By name, the line of its last write, sync and naming (0: none); the last syncfs, and the
    // last sync of the folder.
    std::map<std::string, int> written, synced, named;
    int all_synced = 0, folder_synced = 0, at = 1;
    auto name_of = [](const std::string& path) { return path.substr(path.rfind('/') + 1); };
    for (std::ifstream trace(log); std::getline(trace, line); ++at) {
      char call[32] = "", path[4096] = "";
      std::sscanf(line.c_str(), "%*d %31[a-z0-9](%*d<%4095[^>]", call, path);
      std::string name = name_of(path), quoted[5];  // a rename's or link's names: 1 and 3
      std::istringstream pieces(line);
      for (std::string& piece : quoted) std::getline(pieces, piece, '"');
      std::string from = name_of(quoted[1]), to = name_of(quoted[3]), kind = call;
      if (kind.find("write") != std::string::npos) written[name] = at;
      if (kind == "syncfs") all_synced = folder_synced = at;
      if (kind.ends_with("sync")) (path == here ? folder_synced : synced[name]) = at;
      if (!kind.starts_with("rename") && !kind.starts_with("link")) continue;
      EXPECT_LE(written[from], std::max(synced[from], all_synced))
          << from << " takes the name " << to << " before its last write is on the disk";
      int kept = named.contains(to + ".bak") ? named.at(to + ".bak") : 0;
      EXPECT_TRUE(!backup || (to != "A" && to != "B") || (kept > 0 && kept < folder_synced))
          << to << " is replaced before its backup's name is on the disk";
      named[to] = at;
    }
    for (const auto& [name, made] : named)
      EXPECT_LT(made, folder_synced) << "the folder is not synced after " << name << " is named";
    for (std::string name : {"A", "B", "C", backup ? "A.bak" : "A", backup ? "B.bak" : "B"})
      EXPECT_GT(named[name], 0) << name << " is never named";
    fs::remove(log);
  }
}

// Test mode at a pseudo-terminal, on a target T "one" to which i.zt adds "two": each wait is
// answered only once its prompt shows, so nothing may be held back; each key wait of the
// write-back neither echoes nor takes Ctrl-C as a key; the terminal is left exactly as it was
// found, also when the run is interrupted from the keyboard at a key wait. Wine's console draws
// the trace with its own cursor movements, so there only what the keys do counts, and Ctrl-C
// ends the run with the console's interrupt status (0xC000013A, the loader keeping 0x3A). The
// parameter: the key typed at the first key wait, and the signal it ends the run with.
class TestModeAtATerminal : public testing::TestWithParam<std::pair<char, int>> {};

TEST_P(TestModeAtATerminal, KeyWaitsNeedNoEnterAndTheTerminalIsRestored) {
  const auto [first_key, ending] = GetParam();
  bool windows = on_windows();
  if (!windows && !environment("ZELTRIM_COMMAND").empty()) GTEST_SKIP() << "needs the program";
  if (windows && ending == SIGQUIT) GTEST_SKIP() << "no Ctrl-\\ at a Windows console";
  Scratch folder;
  folder.write("T", "one\r\n\x1A");
  folder.write("i.zt", ".F T\r\n.I two\r\n");
  // The settings a terminal starts with here, a little changed, so that a program that
  // restores some default rather than what it found is caught.
  int master = -1, slave = -1, status = -1;
  termios found{}, now{};
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) == 0) tcgetattr(slave, &found);
  close(master);
  close(slave);
  found.c_lflag &= ~static_cast<tcflag_t>(ECHOCTL);
  found.c_cc[VERASE] = '\b';
  Start start(program({"i.zt", "/t"}));
  pid_t child = forkpty(&master, nullptr, &found, nullptr);
  if (child == 0) become(folder.path, start);
  slave = open(ptsname(master), O_RDWR | O_NOCTTY);  // keeps the settings readable afterwards
  tcgetattr(slave, &found);
  std::string seen;
  auto ended = [&] { return status != -1 || waitpid(child, &status, WNOHANG) == child; };
  auto read_some = [&] {  // what the terminal shows, its CRs taken out
    char buffer[4096];
    pollfd ready = {master, POLLIN, 0};
    ssize_t got = poll(&ready, 1, 100) > 0 ? read(master, buffer, sizeof buffer) : 0;
    for (ssize_t i = 0; i < got; ++i) seen += buffer[i] == '\r' ? "" : std::string(1, buffer[i]);
    return got > 0;
  };
  std::size_t from = 0;  // where the terminal's next prompt is looked for
  auto shown = [&](const std::string& prompt) {
    return windows || (seen.find(prompt, from) != std::string::npos && seen.ends_with(prompt));
  };
  auto raw = [&] { return tcgetattr(slave, &now) == 0 && (now.c_lflag & ICANON) == 0; };
  if (windows) wait_until(raw, read_some);  // keys typed before wine's console is up are lines
  const std::string keys = {'\r', '\r', first_key, 'k'}, stored[] = {"one", "two"};
  for (std::size_t at = 0; at < keys.size() && (at < 3 || ending == 0); ++at) {
    if (at < 2) wait_until([&] { return shown("continue...\n\n") || ended(); }, read_some);
    if (at >= 2) {
      auto waiting = [&] {
        return raw() && shown(stored[at - 2] + "\n") && !temporaries(folder).empty();
      };
      EXPECT_TRUE(wait_until(waiting, read_some)) << "no key wait while the new file is written";
      EXPECT_TRUE(windows || (now.c_lflag & (ECHO | ISIG)) == ISIG) << "the key echoes or eats ^C";
    }
    ASSERT_EQ(write(master, &keys[at], 1), 1);
    from = seen.size();
  }
  ASSERT_TRUE(wait_until([&] { return ended() && !read_some(); }, read_some)) << "it hangs";
  std::string trace =
      "TESTMODE|OP .F T|MAKING T||LEAVING|DONE .F T||OP .I two|BOTTOM two|DONE .I two|";
  trace += ending ? "|STORED one" : "|STORED one|STORED two";
  EXPECT_EQ(windows ? "" : seen, windows ? "" : kBanner + report(trace) + kClosing[ending ? 1 : 0]);
  tcgetattr(slave, &now);
  EXPECT_TRUE(windows || (now.c_iflag == found.c_iflag && now.c_oflag == found.c_oflag &&
                          now.c_cflag == found.c_cflag && now.c_lflag == found.c_lflag &&
                          std::memcmp(now.c_cc, found.c_cc, sizeof now.c_cc) == 0))
      << "the terminal's settings were not restored";
  EXPECT_EQ(folder.names(), (std::set<std::string>{"T", "i.zt"}));
  EXPECT_EQ(WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status),
            windows && ending ? 0x3A : ending);
  EXPECT_EQ(folder.read("T"), ending ? "one\r\n\x1A" : "one\r\ntwo\r\n\x1A");
  for (int end : {slave, master}) close(end);
}

// Twenty runs at once on one target, each adding a line of its own, half of them through a
// symbolic link: every line arrives, in the written form, and every run ends well.
TEST(Locks, TwentyRunsAtOnceLoseNothing) {
  Scratch folder;
  folder.write("T", file_of({}, "BASE"));
  bool links = !on_windows() && symlink("T", folder.file("L").c_str()) == 0;
  std::vector<std::thread> runs;
  std::vector<int> codes(20, -1);
  for (int i = 0; i < 20; ++i) {
    std::string job = std::to_string(i) + ".zt";
    folder.write(job, ".F " + std::string(links && i % 2 == 1 ? "L" : "T") + "\r\n.I line " +
                          std::to_string(i) + "\r\n");
    runs.emplace_back([&, i, job] { codes[i] = run(folder, program({job})).code; });
  }
  for (std::thread& each : runs) each.join();
  std::string after = folder.read("T");
  EXPECT_TRUE(after.starts_with("BASE\r\n") && after.ends_with("\r\n\x1A")) << after;
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(codes[i], 0) << "run " << i;
    EXPECT_NE(after.find("line " + std::to_string(i) + "\r\n"), std::string::npos) << "line " << i;
  }
}

// A run in test mode holds its target as long as its user takes; a program that changes the file
// meanwhile keeps its change: the run says so and ends with errors.
TEST(Locks, ChangeMadeMeanwhileIsKept) {
  Scratch folder;
  folder.write("T", file_of({}, "A"));
  folder.write("i.zt", ".F T\r\n.I x\r\n");
  int input[2];
  ASSERT_EQ(pipe(input), 0);
  std::string printed = folder.path + ".out";
  Start start(program({"i.zt", "/t"}));
  pid_t child = fork();
  if (child == 0) {
    dup2(input[0], STDIN_FILENO);
    dup2(open(printed.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666), STDOUT_FILENO);
    close(input[1]);
    become(folder.path, start);
  }
  close(input[0]);
  wait_until([&] { return bytes_of(printed).find("Press ENTER") != std::string::npos; },
             [] { std::this_thread::sleep_for(10ms); });
  std::this_thread::sleep_for(20ms);  // a later time stamp than the run's, where it is coarse
  folder.write("T", "OTHER\r\n");
  close(input[1]);  // every wait ends: the run goes on
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 2);
  std::string changed = report("CHANGED T");  // in text mode on Windows, its line ends in CR LF
  EXPECT_NE(bytes_of(printed).find(changed.substr(0, changed.size() - 1)), std::string::npos)
      << bytes_of(printed);
  EXPECT_EQ(folder.read("T"), "OTHER\r\n");
  fs::remove(printed);
}

INSTANTIATE_TEST_SUITE_P(Keys, TestModeAtATerminal,
                         testing::Values(std::pair{'k', 0}, std::pair{'\x03', SIGINT},
                                         std::pair{'\x1C', SIGQUIT}));

}  // namespace
}  // namespace zeltrim::e2e

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  std::string command = zeltrim::e2e::environment("ZELTRIM_COMMAND");  // for rows' shell lines:
  setenv("LOADER", command.substr(0, command.find_last_of(' ') + 1).c_str(), 1);  // wine's loader
  namespace fs = std::filesystem;
  for (const fs::path& file : std::set<fs::path>(fs::directory_iterator(ZELTRIM_ROWS_DIR), {}))
    if (file.extension() == ".rows") zeltrim::e2e::register_rows(file.string());
  return RUN_ALL_TESTS();
}
