#include "front/front.h"

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

bool asks_for_help(const std::string& argument) {
  return argument.empty() || argument.front() == '?' || argument == "/?";
}

bool asks_for_test_mode(const std::string& argument) {
  return argument.size() == 2 && argument[0] == '/' && (argument[1] == 't' || argument[1] == 'T');
}

Ending run(const std::vector<std::string>& arguments) {
  platform::say(kBanner);
  platform::say(kRelease, kOwnerNotice);
  // Every argument is looked at, the instruction file too: the first that asks for help ends
  // the run there.
  RunSettings settings;
  for (const std::string& argument : arguments) {
    if (asks_for_help(argument)) {
      show_help();
      return Ending::help_shown;
    }
    if (asks_for_test_mode(argument)) {
      platform::say(kTestModeOn);
      settings.test_mode = true;
    }
  }
  if (arguments.empty()) {
    show_help();
    return Ending::help_shown;
  }

  RunOutcome outcome = run_instruction_file(arguments.front(), settings);
  if (outcome == RunOutcome::instructions_unusable) return Ending::instructions_unusable;
  // The closing message says plainly whether every target made it.
  bool clean = outcome == RunOutcome::completed;
  platform::say(clean ? kEndedSuccessfully : kEndedWithErrors);
  return clean ? Ending::success : Ending::errors;
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
  // The edits were made, but the report of them was lost: that is not a clean run.
  if (platform::Status lost = platform::output_failure(); !lost) {
    platform::tell_error("zeltrim: standard output: " + platform::describe(lost));
    if (ending == Ending::success) ending = Ending::errors;
  }
  return ending;
}

int exit_code(Ending ending) {
  switch (ending) {
    case Ending::success:
      return 0;
    case Ending::errors:
      return 2;
    case Ending::help_shown:
    case Ending::instructions_unusable:
    case Ending::out_of_memory:
      return 1;
  }
  return 1;
}

}  // namespace zeltrim
