#include "front/front.h"

#include <algorithm>
#include <new>

#include "commands/interpreter.h"
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
constexpr std::string_view kHelpOption = "--help";
constexpr std::string_view kVersion = "--version";

bool asks_for_help(const std::string& argument) {
  return argument.empty() || argument.front() == '?' || argument == "/?";
}

bool asks_for_test_mode(const std::string& argument) {
  return argument.size() == 2 && argument[0] == '/' && (argument[1] == 't' || argument[1] == 'T');
}

// The options looked at after the instruction file: a slash and a letter, in either case.
struct Option {
  char letter;
  void (*set)(RunSettings& settings);
  std::string_view announced;  // said once, after the banner
};

constexpr Option kOptions[] = {
    {'N', [](RunSettings& settings) { settings.target.no_write = true; }, kNoWriteOn},
    {'D', [](RunSettings& settings) { settings.target.diff = true; }, {}},
    {'B', [](RunSettings& settings) { settings.target.backup = true; }, {}},
    {'S', [](RunSettings& settings) { settings.strict = true; }, {}},
    {'O', [](RunSettings& settings) { settings.once = true; }, {}},
    {'K', [](RunSettings& settings) { settings.target.keep_form = true; }, {}},
    {'U', [](RunSettings& settings) { settings.target.unicode = true; }, {}},
};

const Option* option_named(const std::string& argument) {
  if (argument.size() != 2 || argument[0] != '/') return nullptr;
  char letter = static_cast<char>(argument[1] & ~0x20);
  const Option* found =
      std::find_if(std::begin(kOptions), std::end(kOptions),
                   [letter](const Option& option) { return option.letter == letter; });
  return found == std::end(kOptions) ? nullptr : found;
}

Ending run(const std::vector<std::string>& arguments) {
  platform::say(kBanner);
  platform::say(kRelease, kOwnerNotice);
  if (!arguments.empty() && (arguments.front() == kHelpOption || arguments.front() == kVersion)) {
    if (arguments.front() == kHelpOption) show_usage();
    return Ending::information;
  }
  // Every argument is looked at, the instruction file too: the first that asks for help ends
  // the run there. The other options count only after the instruction file.
  RunSettings settings;
  std::vector<const Option*> given;
  std::vector<std::string> unknown;
  for (std::size_t at = 0; at < arguments.size(); ++at) {
    const std::string& argument = arguments[at];
    if (asks_for_help(argument)) {
      show_help();
      return Ending::help_shown;
    }
    if (asks_for_test_mode(argument)) {
      platform::say(kTestModeOn);
      settings.test_mode = true;
    } else if (at == 0) {
      continue;
    } else if (const Option* option = option_named(argument)) {
      if (std::find(given.begin(), given.end(), option) != given.end()) continue;
      given.push_back(option);
      option->set(settings);
      if (!option->announced.empty()) platform::say(option->announced);
    } else {
      unknown.push_back(argument);
    }
  }
  if (arguments.empty()) {
    show_help();
    return Ending::help_shown;
  }
  // Anything else was always ignored; a strict run says so and counts it.
  bool errors = false;
  if (settings.strict) {
    for (const std::string& argument : unknown) platform::say(kUnknownOption, argument);
    errors = !unknown.empty();
  }

  // The report shows UTF-8 text as it is, and a console must show it so too.
  if (settings.target.unicode) platform::show_utf8();
  RunOutcome outcome = run_instruction_file(arguments.front(), settings);
  if (outcome == RunOutcome::instructions_unusable) return Ending::instructions_unusable;
  if (errors) outcome = RunOutcome::completed_with_errors;
  // The closing message says plainly whether every target made it.
  bool clean = outcome != RunOutcome::completed_with_errors;
  platform::say(clean ? kEndedSuccessfully : kEndedWithErrors);
  if (!clean) return Ending::errors;
  return outcome == RunOutcome::would_change ? Ending::would_change : Ending::success;
}
}  // namespace

Ending run_program(const std::vector<std::string>& arguments) {
  platform::start_console();
  Ending ending;
  try {
    ending = run(arguments);
  } catch (const std::bad_alloc&) {
    // Nothing is written back: the temporary file of a write-back in progress is already gone.
    platform::say(kOutOfMemory);
    ending = Ending::out_of_memory;
  }
  platform::flush_output();
  platform::restore_console();
  // The edits were made, but the report of them was lost: that is not a clean run.
  if (platform::Status lost = platform::output_failure(); !lost) {
    platform::tell_error("zeltrim: standard output: " + platform::describe(lost));
    if (ending == Ending::success || ending == Ending::would_change ||
        ending == Ending::information) {
      ending = Ending::errors;
    }
  }
  return ending;
}

int exit_code(Ending ending) {
  switch (ending) {
    case Ending::success:
    case Ending::information:
      return 0;
    case Ending::errors:
      return 2;
    case Ending::would_change:
      return 3;
    case Ending::help_shown:
    case Ending::instructions_unusable:
    case Ending::out_of_memory:
      return 1;
  }
  return 1;
}

}  // namespace zeltrim
