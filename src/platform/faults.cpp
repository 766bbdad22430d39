#include "platform/faults.h"

#include <array>

namespace zeltrim::platform {

namespace {
// -1: not armed; otherwise the number of calls still to let through.
std::array<int, static_cast<int>(Step::count_)> countdown = [] {
  std::array<int, static_cast<int>(Step::count_)> all{};
  all.fill(-1);
  return all;
}();
}  // namespace

void fail_step(Step step, int skip) { countdown[static_cast<int>(step)] = skip; }

void clear_failures() { countdown.fill(-1); }

bool failure_pending(Step step) { return countdown[static_cast<int>(step)] >= 0; }

bool should_fail(Step step) {
  int& left = countdown[static_cast<int>(step)];
  if (left < 0) return false;
  if (left == 0) {
    left = -1;
    return true;
  }
  --left;
  return false;
}

}  // namespace zeltrim::platform
