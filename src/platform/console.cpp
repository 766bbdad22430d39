#include <cstdio>
#include <cstring>
#include <string>

#include "platform/console.h"

namespace zeltrim::platform {

namespace {
bool test_mode_on = false;
}  // namespace

void print(std::string_view bytes) {
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

void say(std::string_view format, std::initializer_list<std::string_view> arguments) {
  // A run may report a million changed lines: a short message goes out in one write, pieced
  // together here; a long one in its pieces, without a copy.
  char message[512];
  std::size_t length = format.size();
  for (std::string_view argument : arguments) length += argument.size();
  bool whole = length <= sizeof message;
  std::size_t used = 0;
  auto put = [&](std::string_view piece) {
    if (!whole) return print(piece);
    if (!piece.empty()) std::memcpy(message + used, piece.data(), piece.size());
    used += piece.size();
  };
  const std::string_view* next = arguments.begin();
  std::size_t done = 0;
  for (std::size_t at = format.find('%'); at != std::string_view::npos && at + 1 < format.size();
       at = format.find('%', at + 2)) {
    char conversion = format[at + 1];
    if ((conversion != 's' && conversion != 'd') || next == arguments.end()) continue;
    put(format.substr(done, at - done));
    put(*next++);
    done = at + 2;
  }
  put(format.substr(done));
  if (whole) print(std::string_view(message, used));
}

void say(std::string_view format, std::string_view argument) { say(format, {argument}); }

void say(std::string_view format, long long number) { say(format, {std::to_string(number)}); }

void flush_output() { std::fflush(stdout); }

void set_test_mode(bool on) { test_mode_on = on; }

bool test_mode() { return test_mode_on; }

}  // namespace zeltrim::platform
