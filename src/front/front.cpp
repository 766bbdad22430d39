#include "front/front.h"

#include <algorithm>
#include <new>
#include <optional>

#include "lines/caseless.h"
#include "platform/console.h"
#include "run/job.h"
#include "run/json_report.h"

namespace zeltrim {

namespace {
constexpr std::string_view kBanner = "ZELTRIM.EXE - Text File Modifier - " ZELTRIM_VERSION "\n\n";
constexpr std::string_view kRelease = "%s - Release: 20000719\n\n";
constexpr std::string_view kOwnerNotice = "Copyright (C) 2026 The ZELTRIM developers";
constexpr std::string_view kTestModeOn = "Invoked in TEST mode \n\n";
constexpr std::string_view kOutOfMemory = "Error - Out of Memory - Program ending.";
constexpr std::string_view kNoWriteOn = "Invoked in NO-WRITE mode - no file is changed\n\n";
constexpr std::string_view kUnknownOption = "Unknown option %s";
constexpr std::string_view kUnknownOptionStops = "Unknown option %s - no file was changed\n";
constexpr std::string_view kEndOfOptions = "--";
constexpr std::string_view kHelpOption = "--help";
constexpr std::string_view kVersionOption = "--version";
constexpr std::string_view kNoJsonInTestMode = "JSON mode cannot be combined with test mode";
constexpr std::string_view kNoQuietInTestMode = "Quiet mode cannot be combined with test mode";
constexpr std::string_view kNoInputInTestMode =
    "Standard input cannot hold the instructions in test mode";

// An option: a slash and a letter, in either case, after the instruction file, or its long name
// anywhere; some take a value, as --NAME=VALUE.
struct Option {
  std::string_view name;
  std::string_view announced;  // said after the banner (test mode: each time it is given)
  void (*set)(RunSettings& settings, std::string_view value);
  char letter;  // none: a long name alone
  bool valued = false;
};

constexpr Option kOptions[] = {
    {"--test", kTestModeOn, [](RunSettings& settings, auto) { settings.test_mode = true; }, 'T'},
    {"--dry-run", kNoWriteOn, [](RunSettings& settings, auto) { settings.target.no_write = true; },
     'N'},
    {"--diff", {}, [](RunSettings& settings, auto) { settings.target.diff = true; }, 'D'},
    {"--backup", {}, [](RunSettings& settings, auto) { settings.target.backup = true; }, 'B'},
    {"--strict", {}, [](RunSettings& settings, auto) { settings.strict = true; }, 'S'},
    {"--once", {}, [](RunSettings& settings, auto) { settings.once = true; }, 'O'},
    {"--keep-form", {}, [](RunSettings& settings, auto) { settings.target.keep_form = true; }, 'K'},
    {"--unicode", {}, [](RunSettings& settings, auto) { settings.target.unicode = true; }, 'U'},
    {"--quiet", {}, [](RunSettings& settings, auto) { settings.quiet = true; }, 'Q'},
    {"--json", {}, [](RunSettings& settings, auto) { settings.json = true; }, 'J'},
    {"--validate",
     {},
     [](RunSettings& settings, std::string_view command) { settings.target.validate = command; },
     '\0',
     true},
    // The backup's suffix brings the backup.
    {"--suffix",
     {},
     [](RunSettings& settings, std::string_view suffix) {
       settings.target.backup = true;
       settings.target.backup_suffix = suffix;
     },
     '\0',
     true},
};
constexpr const Option& kTestOption = kOptions[0];
constexpr const Option& kNoWriteOption = kOptions[1];
constexpr const Option& kBackupOption = kOptions[3];
constexpr const Option& kQuietOption = kOptions[8];
constexpr std::string_view kQuietShort = "-q";

// The long names of the options in force, in the table's order, as the JSON report lists them:
// JSON itself is not listed, and test mode refuses a report.
std::vector<std::string_view> long_names(const std::vector<const Option*>& given) {
  std::vector<std::string_view> names;
  for (const Option& option : kOptions) {
    if (option.letter != 'J' && std::ranges::find(given, &option) != given.end()) {
      names.push_back(option.name.substr(kEndOfOptions.size()));
    }
  }
  return names;
}

// The option an argument names: a slash and its letter, in either case, or its long name (with
// its value, for one that takes a value).
const Option* option_of(std::string_view argument, bool long_name) {
  const Option* found = std::end(kOptions);
  if (long_name) {
    found = std::ranges::find_if(kOptions, [argument](const Option& option) {
      return option.valued ? argument.starts_with(option.name) &&
                                 argument.substr(option.name.size()).starts_with('=')
                           : argument == option.name;
    });
  } else if (argument.size() == 2 && argument[0] == '/' && argument[1] != '\0') {
    found = std::ranges::find(kOptions, upper_ascii(argument[1]), &Option::letter);
  }
  return found == std::end(kOptions) ? nullptr : found;
}

// Why a value an option was given cannot serve, or nothing when it can.
std::optional<std::string> refusal_of(const Option& option, std::string_view value) {
  if (option.name == "--validate" && value.find("%s") == std::string_view::npos) {
    return "the validation command must hold %s, where the new content's file goes";
  }
  if (option.name == "--suffix" &&
      (value.empty() ||
       value.find_first_of(platform::kFolderSeparators) != std::string_view::npos)) {
    return "a backup's suffix must not be empty nor hold a folder separator";
  }
  return std::nullopt;
}

// What the command line asks for, read whole before anything is done: a mistyped option must
// stop the run before it opens a file, and a help argument anywhere wins over everything else.
struct CommandLine {
  enum class Help : unsigned char { none, screen, usage, version };
  Help help = Help::none;
  std::optional<std::string> instructions;
  RunSettings settings;
  std::optional<std::string> unknown;       // the first argument that is no option
  std::vector<std::string> without_effect;  // -t and -T
  std::vector<std::string> extra;           // other arguments after the instruction file
  std::vector<const Option*> given;         // in the order given; /t each time
  bool no_write_anywhere = false;           // /n or --dry-run, wherever it stands
  // An option whose value cannot serve, and why: the run stops before it begins.
  std::optional<std::pair<std::string, std::string>> refused;

  void take(const Option& option, std::string_view argument = {}) {
    std::string_view value = option.valued ? argument.substr(option.name.size() + 1) : "";
    if (option.valued && !refused) {
      if (auto why = refusal_of(option, value)) refused.emplace(argument, *why);
    }
    // An option given again counts once (a value: the last one given); /t is announced each time.
    bool again = std::ranges::find(given, &option) != given.end();
    if (!again || &option == &kTestOption) given.push_back(&option);
    if (!again || option.valued) option.set(settings, value);
    // The backup's suffix brings the backup, which the report then names too.
    if (settings.target.backup && std::ranges::find(given, &kBackupOption) == given.end()) {
      given.push_back(&kBackupOption);
    }
  }
};

// Long options count anywhere before "--"; the instruction file is the first argument that is
// none, and the options with a slash follow it.
CommandLine read_command_line(const std::vector<std::string>& arguments) {
  CommandLine line;
  bool options_ended = false;
  for (const std::string& argument : arguments) {
    if (argument.empty() || argument.front() == '?' || argument == "/?") {
      line.help = CommandLine::Help::screen;
      break;
    }
    if (!options_ended && argument == kEndOfOptions) {
      options_ended = true;
    } else if (!options_ended && argument == kQuietShort) {
      line.take(kQuietOption);
    } else if (!options_ended && argument.starts_with(kEndOfOptions)) {
      if (argument == kHelpOption || argument == kVersionOption) {
        line.help = argument == kHelpOption ? CommandLine::Help::usage : CommandLine::Help::version;
        break;
      }
      if (const Option* option = option_of(argument, true)) {
        line.take(*option, argument);
      } else if (!line.unknown) {
        line.unknown = argument;
      }
    } else if (!line.instructions) {
      line.instructions = argument;
      // The first argument has always switched test mode on too when it is /t.
      if (option_of(argument, false) == &kTestOption) line.take(kTestOption);
    } else if (const Option* option = option_of(argument, false)) {
      line.take(*option);
    } else if (argument == "-t" || argument == "-T") {
      line.without_effect.push_back(argument);  // always taken without effect, and still
    } else if (argument.starts_with('-') || argument.starts_with('/')) {
      if (!line.unknown) line.unknown = argument;
    } else {
      line.extra.push_back(argument);
    }
  }
  if (!line.instructions && line.help == CommandLine::Help::none) {
    line.help = CommandLine::Help::screen;  // nothing to run: the help screen says how
  }
  // A preview writes nothing, not even the help screen's sample, wherever it is asked for.
  line.no_write_anywhere = std::ranges::any_of(arguments, [](const std::string& argument) {
    return argument == kNoWriteOption.name || option_of(argument, false) == &kNoWriteOption;
  });
  return line;
}

// The run the command line asks for, said to the report chosen for it: the banner and the
// options' announcements are the console's alone.
Ending run(const CommandLine& line, platform::Disk& disk, platform::Console& console,
           Report& report, bool console_text) {
  const RunSettings& settings = line.settings;
  if (console_text) {
    console.say(kBanner);
    console.say(kRelease, {kOwnerNotice});
  }
  if (line.help == CommandLine::Help::none && line.unknown) {
    console.say(kUnknownOptionStops, {*line.unknown});
    console.error("unknown option " + *line.unknown);
    return Ending::unknown_option;
  }
  if (line.help == CommandLine::Help::none && line.refused) {
    console.error(line.refused->first, line.refused->second);
    return Ending::unknown_option;
  }
  // Test mode reads its keys from standard input, and shows every step on standard output.
  for (auto [refuse, said] :
       {std::pair{settings.json, kNoJsonInTestMode}, std::pair{settings.quiet, kNoQuietInTestMode},
        std::pair{line.instructions == kStandardInput, kNoInputInTestMode}}) {
    if (!refuse || !settings.test_mode || line.help != CommandLine::Help::none) continue;
    console.say(said);
    console.say("\n");
    console.error(said);
    return Ending::unknown_option;
  }
  for (const Option* option : line.given) {
    if (console_text && !option->announced.empty()) console.say(option->announced);
  }
  if (line.help == CommandLine::Help::screen) {
    show_help(disk, console, line.no_write_anywhere);
    return Ending::help_shown;
  }
  if (line.help == CommandLine::Help::usage) show_usage(console);
  if (line.help != CommandLine::Help::none) return Ending::information;
  for (const std::string& argument : line.without_effect) {
    console.error(argument + " has no effect; test mode is /t");
  }
  // Any other argument was always ignored; a strict run counts it as a problem of the job.
  for (const std::string& argument : line.extra) {
    if (settings.strict) {
      report.problem({std::nullopt, std::nullopt, platform::message_line(kUnknownOption, argument)},
                     true);
      console.error("unknown option " + argument);
    } else {
      console.error("argument " + argument + " is no option and has no effect");
    }
  }

  // The report shows UTF-8 text as it is, and a console must show it so too.
  if (settings.target.unicode) console.show_utf8();
  bool command_line_problems = settings.strict && !line.extra.empty();
  RunOutcome outcome =
      run_job(*line.instructions, settings, disk, console, report, command_line_problems);
  if (outcome == RunOutcome::instructions_unusable) return Ending::instructions_unusable;
  // The closing message says plainly whether every target made it.
  bool clean = outcome != RunOutcome::completed_with_errors;
  report.ended(clean);
  if (!clean) return Ending::errors;
  return outcome == RunOutcome::would_change ? Ending::would_change : Ending::success;
}
}  // namespace

Ending run_program(const std::vector<std::string>& arguments) {
  platform::Console& console = platform::system_console();
  CommandLine line = read_command_line(arguments);
  // The report is chosen once: one JSON document where it is asked for and the run goes ahead,
  // else the console's text, with test mode's traces and waits where that is asked for.
  bool json = line.settings.json && line.help == CommandLine::Help::none && !line.unknown &&
              !line.refused && !line.settings.test_mode;
  // Quiet, the console holds only what went wrong and what a preview and a diff show; the help
  // screen and the others still say what they always say.
  bool quiet =
      line.settings.quiet && !line.settings.test_mode && line.help == CommandLine::Help::none;
  JsonReport* document = nullptr;
  std::unique_ptr<Report> report;
  if (json) {
    auto made =
        std::make_unique<JsonReport>(console, long_names(line.given), line.settings.target.diff);
    document = made.get();
    report = std::move(made);
  } else {
    report = console_report(console, line.settings.test_mode, quiet);
  }
  Ending ending;
  try {
    ending = run(line, platform::system_disk(), console, *report, !json && !quiet);
  } catch (const std::bad_alloc&) {
    // Nothing is written back: the temporary file of a write-back in progress is already gone.
    report->stopped(kOutOfMemory);
    console.error("out of memory");
    ending = Ending::out_of_memory;
  }
  if (document != nullptr) {
    try {
      console.print(document->document(exit_code(ending)));
    } catch (const std::bad_alloc&) {
      console.print(out_of_memory_document());
    }
  }
  console.flush();
  console.restore();
  // The edits were made, but the report of them was lost: that is not a clean run.
  if (platform::Status lost = console.output_failure(); !lost) {
    console.error("standard output", platform::describe(lost));
    if (exit_code(ending) == 0 || ending == Ending::would_change) ending = Ending::errors;
  }
  return ending;
}

int exit_code(Ending ending) {
  // success, would_change, errors, help_shown, information, instructions_unusable,
  // unknown_option, out_of_memory
  constexpr int kExitCodes[] = {0, 3, 2, 1, 0, 1, 1, 1};
  static_assert(std::size(kExitCodes) == static_cast<std::size_t>(Ending::out_of_memory) + 1);
  return kExitCodes[static_cast<int>(ending)];
}

}  // namespace zeltrim
