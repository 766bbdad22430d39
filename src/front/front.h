// The front end: the banner, the command line, the help screen with its sample instruction
// file, and the run's ending. It decides nothing about files or commands itself.
#pragma once

#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/files.h"

namespace zeltrim {

enum class Ending {
  success,                // every target loaded and written back
  would_change,           // nothing was written, and at least one file would have changed
  errors,                 // a target could not be loaded or written back, or another error
  help_shown,             // the help screen ended the program
  information,            // --help or --version printed what was asked
  instructions_unusable,  // the instruction file could not be read
  unknown_option,         // an argument that is no option stopped the run before it began
  out_of_memory,
};

// The whole program for the arguments that follow the program's name.
Ending run_program(const std::vector<std::string>& arguments);

// Prints the help screen, waits for Enter, shows and writes SAMPLE.ZT (where the command line
// asks that nothing be written, says that it is not written).
void show_help(platform::Disk& disk, platform::Console& console, bool no_write);

// --help: the help screen's explanation and example, then every option and exit code; no wait,
// no file written.
void show_usage(platform::Console& console);

int exit_code(Ending ending);

}  // namespace zeltrim
