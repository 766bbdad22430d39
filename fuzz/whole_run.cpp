#include "whole_run.h"

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "folder_rules.h"
#include "job_text.h"
#include "platform/console.h"
#include "run/job.h"
#include "settling.h"
#include "text_rules.h"
#include "textfile/encoding.h"
#include "textfile/target_file.h"

namespace zeltrim::fuzz {
namespace {

struct Ran {
  RunOutcome outcome = RunOutcome::completed;
  std::string report;  // standard output
  std::string errors;  // standard error
  Files files;
};

// Runs the instruction file in a folder of its own holding `files`; what it printed and left.
Ran run_in(const std::string& name, const Files& files, const RunSettings& settings) {
  InSubfolder in_subfolder(name);
  clear_folder();
  for (const auto& [path, bytes] : files) {
    if (!write_file(path, bytes)) fail("cannot store a file", path);
  }
  Ran ran;
  {
    CapturedOutput output;
    CapturedOutput errors(Channel::errors);
    ran.outcome = run_instruction_file(kInstructionName, settings, platform::system_disk());
    ran.report = output.text();
    ran.errors = errors.text();
  }
  for (const std::string& path : folder_names()) ran.files[path] = read_file(path);
  return ran;
}

// The first file that differs between two folders, with both its contents.
std::string first_difference(const Files& one, const Files& other) {
  for (const Files* files : {&one, &other}) {
    for (const auto& [path, bytes] : *files) {
      auto a = one.find(path);
      auto b = other.find(path);
      if (a == one.end() || b == other.end() || a->second != b->second) {
        return path + ": " + (a == one.end() ? "(none)" : a->second) + " --- " +
               (b == other.end() ? "(none)" : b->second);
      }
    }
  }
  return {};
}

// With /d, the diffs of the report, applied as patch would to the files as they were, give the
// bytes the run writes (or, where it writes nothing, would write).
void check_diffs(const Ran& ran, const Files& before, const RunSettings& settings,
                 const std::set<std::string>& named) {
  Files expected = ran.files;
  if (settings.target.no_write) {
    RunSettings writing = settings;
    writing.target.no_write = false;
    expected = run_in("write", before, writing).files;
  }
  Files patched = before;
  std::set<std::string> skipped;
  apply_diffs(ran.report, patched, skipped);
  std::set<std::string> names;
  for (const Files* files : {&patched, &expected}) {
    for (const auto& [name, bytes] : *files) names.insert(name);
  }
  // UTF-16 and UTF-32 text is shown as UTF-8 lines, which patch cannot apply.
  auto wide = [](const Files& files, const std::string& name) {
    auto file = files.find(name);
    if (file == files.end()) return false;
    EncodingKind kind = encoding_from_mark(file->second);
    return kind != EncodingKind::plain && kind != EncodingKind::utf8;
  };
  // A target named under the backup name of another has its diff from what it holds when it is
  // named: under /b, where the backup may have replaced it by then, not from what it held before.
  for (const std::string& name : names) {
    bool backup_name =
        settings.target.backup && is_backup_name_of_named(name, named, settings.target);
    if (is_backup_of_named(name, named, settings.target) || backup_name || skipped.contains(name) ||
        name == kInstructionName || wide(before, name) || wide(expected, name)) {
      continue;
    }
    // No diff makes patch make an empty file.
    if (!patched.contains(name) && expected.contains(name) && expected.at(name).empty()) continue;
    if (!patched.contains(name) || !expected.contains(name) || patched[name] != expected[name]) {
      fail("the diff, applied, does not give what the run writes", name);
    }
  }
}

// Every file that changed, but a backup, reads back to itself: in the file's own form (/k) or
// edited as UTF-8 (/u) written again without a command it stays as it is; in the program's
// form it reloads as the rules kept on purpose say.
void check_written_forms(const Files& before, const Files& after,
                         const std::set<std::string>& named, const TargetOptions& options) {
  for (const auto& [path, bytes] : after) {
    auto old = before.find(path);
    bool changed = old == before.end() || old->second != bytes;
    if (!changed || bytes.empty() || !named.contains(path)) continue;  // .G made or emptied it
    // A target named under another's backup name may hold that backup, bytes as they were.
    if (options.backup && is_backup_name_of_named(path, named, options)) continue;
    if (options.keep_form || options.unicode) {
      check_kept_form(bytes, options);
    } else {
      check_written_form(bytes);
    }
  }
}

// Every line of every target in the folder as the run loads it, folded.
std::vector<std::string> folded_lines(const Files& files, const std::set<std::string>& named,
                                      const TargetOptions& options) {
  std::vector<std::string> lines;
  for (const auto& [path, bytes] : files) {
    if (!named.contains(path)) continue;
    EncodingKind kind = EncodingKind::plain;
    std::optional<std::vector<Loaded>> loaded = load_bytes(bytes, options, kind);
    if (!loaded) continue;
    for (const Loaded& line : *loaded) lines.push_back(folded(line.text));
  }
  return lines;
}

// Under /o: the same job again changes nothing, unless the first run warned that it cannot
// settle a line or the job has a shape that README lists (a file left as it was after an error
// may be taken otherwise the second time); a first run that finds nothing present writes what
// the run without /o writes.
void check_once(const ReadJob& job, const Files& before, const std::set<std::string>& named,
                const Ran& first, const RunSettings& settings, bool again_checked,
                bool first_checked) {
  constexpr std::string_view kCannotSettle = "/o cannot settle this line";
  if (again_checked && first.outcome == RunOutcome::completed &&
      first.errors.find(kCannotSettle) == std::string::npos && !unsettled_shape(job.commands)) {
    Ran again = run_in("again", first.files, settings);
    if (again.files != first.files) {
      fail("a second run under /o changed a file", first_difference(first.files, again.files));
    }
  }
  if (first_checked &&
      finds_nothing_present(job.commands, folded_lines(before, named, settings.target))) {
    RunSettings plain = settings;
    plain.once = false;
    Ran without = run_in("plain", before, plain);
    if (without.files != first.files) {
      fail("a first run under /o that finds nothing present writes other bytes than without /o",
           first_difference(first.files, without.files));
    }
  }
}

// Where ZELTRIM_FUZZ_KEEP names a folder, the job's files are stored there too, and the options
// in OPTIONS, so that a finding can be run again by hand.
void keep_job(const Files& before, const RunSettings& settings) {
  const char* folder = std::getenv("ZELTRIM_FUZZ_KEEP");
  if (folder == nullptr) return;
  std::filesystem::create_directories(folder);
  for (const auto& [path, bytes] : before) {
    if (!write_file(std::string(folder) + "/" + path, bytes)) fail("cannot keep a file", path);
  }
  const TargetOptions& target = settings.target;
  std::string options;
  for (auto [on, option] : {std::pair{target.no_write, "/n"},
                            {target.diff, "/d"},
                            {target.backup, "/b"},
                            {settings.strict, "/s"},
                            {settings.once, "/o"},
                            {target.keep_form, "/k"},
                            {target.unicode, "/u"},
                            {settings.quiet, "/q"}}) {
    if (on) options += std::string(option) + " ";
  }
  if (target.backup_suffix != TargetOptions{}.backup_suffix) {
    options += "--suffix=" + target.backup_suffix + " ";
  }
  if (settings.look_ahead_lines != RunSettings{}.look_ahead_lines) {
    options += "(a .T looks 1 line ahead)";
  }
  write_file(std::string(folder) + "/OPTIONS", options + "\n");
}

// Whether a promise is checked: ZELTRIM_FUZZ_SKIP may name some, separated by commas, that are
// known to be broken while their fix is on its way, so that a run looks for the others.
bool checking(std::string_view promise) {
  static const std::string skipped = [] {
    const char* names = std::getenv("ZELTRIM_FUZZ_SKIP");
    return "," + std::string(names != nullptr ? names : "") + ",";
  }();
  return skipped.find("," + std::string(promise) + ",") == std::string::npos;
}

}  // namespace

void check_job(const Job& job) {
  const RunSettings& settings = job.settings;
  ReadJob read{job.instructions, job_text(job.instructions, settings.target.unicode), {}, {}};
  read.commands = commands_of(read.text);
  read.namings = namings_of(read.commands);
  std::set<std::string> named;
  for (const Naming& naming : read.namings) named.emplace(naming.named.argument);
  Files before = job.files;
  before[kInstructionName] = job.instructions;

  keep_job(before, settings);
  InPrivateFolder in_private_folder;
  Ran ran = run_in("one", before, settings);
  // Test mode shows each step and waits (for /dev/null, at once) but is no preview: now and then
  // the same job in test mode must leave the same files.
  if (settings.once && settings.strict) {
    RunSettings traced = settings;
    traced.test_mode = true;
    if (run_in("traced", before, traced).files != ran.files) {
      fail("test mode left other files than the run without it");
    }
  }

  check_folder(before, ran.files, named, settings.target, checking("backup"));
  check_written_forms(before, ran.files, named, settings.target);
  if (settings.target.diff) check_diffs(ran, before, settings, named);
  if (checking("warnings")) check_byte_warnings(read, before, settings, ran.errors);
  if (checking("utf8")) check_utf8_kept(read, before, ran.files);
  bool written = !settings.target.no_write && ran.outcome == RunOutcome::completed;
  if (written && checking("quotes")) {
    check_concat_lines(read, before, ran.files, settings.target, settings.once);
  }
  if (settings.once && !settings.target.no_write) {
    check_once(read, before, named, ran, settings, checking("settle"), checking("first"));
  }
}

}  // namespace zeltrim::fuzz
