#include "front/front.h"

#include <algorithm>
#include <new>
#include <optional>

#include "commands/interpreter.h"
#include "commands/json_report.h"
#include "platform/console.h"

namespace zeltrim {

namespace {
constexpr std::string_view kBanner = "ZELTRIM.EXE - Text File Modifier - 3.1\n\n";
constexpr std::string_view kRelease = "%s - Release: 20000719\n\n";
constexpr std::string_view kOwnerNotice = "Copyright (C) 2026 The ZELTRIM developers";
constexpr std::string_view kTestModeOn = "Invoked in TEST mode \n\n";
constexpr std::string_view kEndedSuccessfully = "\nZELTRIM.EXE ended successfully\n";
constexpr std::string_view kEndedWithErrors = "\nZELTRIM.EXE ended with errors\n";
constexpr std::string_view kOutOfMemory = "Error - Out of Memory - Program ending.\n";
constexpr std::string_view kNoWriteOn = "Invoked in NO-WRITE mode - no file is changed\n\n";
constexpr std::string_view kUnknownOption = "Unknown option %s\n";
constexpr std::string_view kUnknownOptionStops = "Unknown option %s - no file was changed\n";
constexpr std::string_view kEndOfOptions = "--";
constexpr std::string_view kHelpOption = "--help";
constexpr std::string_view kVersionOption = "--version";
constexpr std::string_view kStandardInput = "-";
constexpr std::string_view kNoJsonInTestMode = "JSON mode cannot be combined with test mode\n";
constexpr std::string_view kNoInputInTestMode =
    "Standard input cannot hold the instructions in test mode\n";
// What a report says when memory ran out while it was being written.
constexpr std::string_view kOutOfMemoryReport =
    "{\"program\":\"zeltrim\",\"version\":\"3.1\",\"exit\":1,\"options\":[],"
    "\"text_bytes\":\"utf-8\",\"error\":\"Error - Out of Memory - Program ending.\","
    "\"targets\":[],\"problems\":[]}\n";

// An option: a slash and a letter, in either case, after the instruction file, or its long name
// anywhere.
struct Option {
  char letter;
  std::string_view name;
  void (*set)(RunSettings& settings);
  std::string_view announced;  // said after the banner (test mode: each time it is given)
};

constexpr Option kOptions[] = {
    {'T', "--test", [](RunSettings& settings) { settings.test_mode = true; }, kTestModeOn},
    {'N', "--dry-run", [](RunSettings& settings) { settings.target.no_write = true; }, kNoWriteOn},
    {'D', "--diff", [](RunSettings& settings) { settings.target.diff = true; }, {}},
    {'B', "--backup", [](RunSettings& settings) { settings.target.backup = true; }, {}},
    {'S', "--strict", [](RunSettings& settings) { settings.strict = true; }, {}},
    {'O', "--once", [](RunSettings& settings) { settings.once = true; }, {}},
    {'K', "--keep-form", [](RunSettings& settings) { settings.target.keep_form = true; }, {}},
    {'U', "--unicode", [](RunSettings& settings) { settings.target.unicode = true; }, {}},
    {'J', "--json", [](RunSettings& settings) { settings.json = true; }, {}},
};

// The long names of the options given, in the table's order, as the JSON report lists them:
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

// The option an argument names: a slash and its letter, in either case, or its long name.
const Option* option_of(const std::string& argument, bool long_name) {
  const Option* found = std::end(kOptions);
  if (long_name) {
    found = std::ranges::find(kOptions, argument, &Option::name);
  } else if (argument.size() == 2 && argument[0] == '/') {
    found = std::ranges::find(kOptions, static_cast<char>(argument[1] & ~0x20), &Option::letter);
  }
  return found == std::end(kOptions) ? nullptr : found;
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

  void take(const Option& option) {
    // An option given again counts once; /t is announced each time.
    if (option.letter != 'T' && std::ranges::find(given, &option) != given.end()) return;
    given.push_back(&option);
    option.set(settings);
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
    } else if (!options_ended && argument.starts_with(kEndOfOptions)) {
      if (argument == kHelpOption || argument == kVersionOption) {
        line.help = argument == kHelpOption ? CommandLine::Help::usage : CommandLine::Help::version;
        break;
      }
      if (const Option* option = option_of(argument, true)) {
        line.take(*option);
      } else if (!line.unknown) {
        line.unknown = argument;
      }
    } else if (!line.instructions) {
      line.instructions = argument;
      // The first argument has always switched test mode on too when it is /t.
      if (option_of(argument, false) == &kOptions[0]) line.take(kOptions[0]);
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
    return argument == "--dry-run" || option_of(argument, false) == &kOptions[1];
  });
  return line;
}

// A run whose command line asks for JSON gets `json`, which it fills as it goes.
Ending run(const std::vector<std::string>& arguments, platform::Disk& disk,
           std::optional<JsonReport>& json) {
  CommandLine line = read_command_line(arguments);
  const RunSettings& settings = line.settings;
  bool refused = line.unknown || settings.test_mode;
  if (settings.json && line.help == CommandLine::Help::none && !refused) {
    json.emplace();
    json->options = long_names(line.given);
    json->with_diff = settings.target.diff;
  } else {
    platform::say(kBanner);
    platform::say(kRelease, kOwnerNotice);
  }
  if (line.help == CommandLine::Help::none && line.unknown) {
    platform::say(kUnknownOptionStops, *line.unknown);
    platform::tell_error("zeltrim: unknown option " + *line.unknown);
    return Ending::unknown_option;
  }
  // Test mode reads its keys from standard input, and shows every step on standard output.
  for (auto [refuse, said] : {std::pair{settings.json, kNoJsonInTestMode},
                              std::pair{line.instructions == kStandardInput, kNoInputInTestMode}}) {
    if (!refuse || !settings.test_mode || line.help != CommandLine::Help::none) continue;
    platform::say(said);
    platform::tell_error("zeltrim: " + message_line(said, {}));
    return Ending::unknown_option;
  }
  for (const Option* option : line.given) {
    if (!json && !option->announced.empty()) platform::say(option->announced);
  }
  if (line.help == CommandLine::Help::screen) {
    show_help(disk, line.no_write_anywhere);
    return Ending::help_shown;
  }
  if (line.help == CommandLine::Help::usage) show_usage();
  if (line.help != CommandLine::Help::none) return Ending::information;
  for (const std::string& argument : line.without_effect) {
    platform::tell_error("zeltrim: " + argument + " has no effect; test mode is /t");
  }
  // Any other argument was always ignored; a strict run counts it as a problem of the job.
  for (const std::string& argument : line.extra) {
    if (settings.strict) {
      if (json) {
        json->problems.push_back(
            {std::nullopt, message_line(kUnknownOption, argument), std::nullopt});
      }
      if (!json) platform::say(kUnknownOption, argument);
      platform::tell_error("zeltrim: unknown option " + argument);
    } else {
      platform::tell_error("zeltrim: argument " + argument + " is no option and has no effect");
    }
  }

  // The report shows UTF-8 text as it is, and a console must show it so too.
  if (settings.target.unicode) platform::show_utf8();
  bool command_line_problems = settings.strict && !line.extra.empty();
  RunOutcome outcome = run_instruction_file(*line.instructions, settings, disk,
                                            command_line_problems, json ? &*json : nullptr);
  if (outcome == RunOutcome::instructions_unusable) return Ending::instructions_unusable;
  // The closing message says plainly whether every target made it.
  bool clean = outcome != RunOutcome::completed_with_errors;
  if (!json) platform::say(clean ? kEndedSuccessfully : kEndedWithErrors);
  if (!clean) return Ending::errors;
  return outcome == RunOutcome::would_change ? Ending::would_change : Ending::success;
}
}  // namespace

Ending run_program(const std::vector<std::string>& arguments) {
  platform::start_console();
  Ending ending;
  std::optional<JsonReport> json;
  try {
    ending = run(arguments, platform::system_disk(), json);
  } catch (const std::bad_alloc&) {
    // Nothing is written back: the temporary file of a write-back in progress is already gone.
    if (!json) platform::say(kOutOfMemory);
    platform::tell_error("zeltrim: out of memory");
    ending = Ending::out_of_memory;
  }
  if (json) {
    try {
      if (ending == Ending::out_of_memory) json->error = message_line(kOutOfMemory, {});
      platform::print(json->document(exit_code(ending)));
    } catch (const std::bad_alloc&) {
      platform::print(kOutOfMemoryReport);
    }
  }
  platform::flush_output();
  platform::restore_console();
  // The edits were made, but the report of them was lost: that is not a clean run.
  if (platform::Status lost = platform::output_failure(); !lost) {
    platform::tell_error("zeltrim: standard output: " + platform::describe(lost));
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
