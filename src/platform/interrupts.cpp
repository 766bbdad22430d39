// What an interruption must remove: the names of the temporary files that exist.
#include <array>
#include <atomic>
#include <deque>

#include "platform/system.h"

namespace zeltrim::platform {

namespace {
std::array<std::atomic<const char*>, kTempSlots> temp_names{};
}  // namespace

void remember_temp_file(const std::string& path) {
  // Names once handed out are never freed: an interruption may be reading one on another thread
  // (Windows) or in the middle of this very code (a signal). A run names a temporary file or two
  // per target, so the few bytes kept cost nothing; they stay reachable here until the process
  // ends. A deque never moves the names it holds.
  static auto* retired_names = new std::deque<std::string>();
  const char* copy = retired_names->emplace_back(path).c_str();
  for (std::atomic<const char*>& slot : temp_names) {
    const char* empty = nullptr;
    if (slot.compare_exchange_strong(empty, copy)) return;
  }
}

void forget_temp_file(const std::string& path) {
  for (std::atomic<const char*>& slot : temp_names) {
    const char* name = slot.load();
    if (name != nullptr && path == name) slot.store(nullptr);
  }
}

const char* temp_file_to_remove(std::size_t slot) { return temp_names[slot].load(); }

}  // namespace zeltrim::platform
