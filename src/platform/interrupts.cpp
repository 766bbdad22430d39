#include "platform/interrupts.h"

#include <atomic>
#include <cstring>
#include <vector>

namespace zeltrim::platform {

namespace {
std::atomic<const char*> temp_to_remove{nullptr};

// Names once handed out are never freed: an interruption may be reading one on another thread
// (Windows) or in the middle of this very code (a signal). A run names one temporary file per
// target, so the few bytes kept cost nothing; they stay reachable here until the process ends.
std::vector<const char*>& retired_names() {
  static auto* names = new std::vector<const char*>();
  return *names;
}
}  // namespace

void remember_temp_file(const std::string& path) {
  char* copy = new char[path.size() + 1];
  std::memcpy(copy, path.c_str(), path.size() + 1);
  retired_names().push_back(copy);
  temp_to_remove.store(copy);
}

void forget_temp_file() { temp_to_remove.store(nullptr); }

const char* temp_file_to_remove() { return temp_to_remove.load(); }

}  // namespace zeltrim::platform
