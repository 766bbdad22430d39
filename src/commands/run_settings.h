// What the command line asked of the run, handed to everything that carries it out.
#pragma once

#include <cstdint>

#include "textfile/target_file.h"

namespace zeltrim {

struct RunSettings {
  bool test_mode = false;  // trace every step and wait for the user after it
  bool strict = false;     // a problem in the instruction file is an error of the run
  bool once = false;       // an addition already there is not made again
  bool json = false;       // the report is one JSON document on standard output
  // Each command is carried out over the whole content when it is dispatched, in a pass of its
  // own, as test mode needs to show each step; otherwise every line of a target passes through
  // all of its commands in one pass at write-back. Both give the same result, byte for byte.
  bool pass_per_command = false;
  // In one pass, where additions are made once: how many lines a line added at the top looks
  // at before the file passes.
  std::uint64_t look_ahead_lines = 4096;
  TargetOptions target;  // what every target is asked

  bool passes() const { return test_mode || pass_per_command; }
};

}  // namespace zeltrim
