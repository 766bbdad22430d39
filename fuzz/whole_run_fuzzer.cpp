// Whole runs of any instruction file on any targets: the input is the job itself (whole_run.h).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "whole_run.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zeltrim::fuzz::check_whole_run(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
