// Inside the commands room: the pieces every handler shares, each written once — the two-part
// argument split, the final-dot rule, the report line and the test-mode trace and wait.
#pragma once

#include <string_view>

namespace zeltrim {

// Separates the two parts of an argument; the help screen writes it as ".".
inline constexpr char kFieldSeparator = '\x02';

// The first part: leading separators skipped, up to the next separator or the end.
// Empty when the argument holds nothing but separators.
std::string_view first_part(std::string_view argument);

// The second part: behind the separator that ends the first part, LF bytes at its start
// skipped, up to the next LF or the end. Later separators belong to it. Empty when missing.
std::string_view second_part(std::string_view argument);

// The text without one final ".", as .C, .E, .U and .V take their second part.
std::string_view without_final_dot(std::string_view text);

struct TwoParts {
  std::string_view first;
  std::string_view second;
};

// How .C, .E, .U and .V open: each part is traced with an Enter wait in test mode as it is
// taken, then the second part loses one final ".". False when a part is missing (the trace
// stops where the missing part was looked for).
bool take_traced_parts(std::string_view argument, TwoParts& parts);

// A change report, printed in every run.
void report(std::string_view format, std::string_view text);

// In test mode only: the message, and with the _and_wait form an Enter wait after it.
void trace(std::string_view format, std::string_view text);
void trace_and_wait(std::string_view format, std::string_view text);

}  // namespace zeltrim
