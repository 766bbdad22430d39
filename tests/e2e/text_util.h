// Small helpers for writing test data: instruction files with the field separator and CR LF.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace zeltrim::e2e {

// Turns every "{02}" into the field separator byte, so test rows stay readable.
inline std::string sep(std::string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    if (text.substr(at, 4) == "{02}") {
      out.push_back('\x02');
      at += 4;
    } else {
      out.push_back(text[at++]);
    }
  }
  return out;
}

// Lines joined with CR LF after each, field separators written as {02}.
inline std::string crlf_lines(std::initializer_list<std::string_view> lines) {
  std::string out;
  for (std::string_view line : lines) out.append(sep(line)).append("\r\n");
  return out;
}

// What test mode prints for the line ".F target" when the target loads, up to its Enter wait.
inline std::string traced_load(std::string_view target) {
  std::string name(target);
  return "TEST MODE: operation is .F " + name + "\n\n" + "Making changes to " + name + "\n\n" +
         "TEST MODE: leaving get_target_file\n" + "TEST MODE: end of .F " + name +
         " operation\n\n" + "TEST MODE: Press ENTER to continue...\n\n";
}

// A plain target as this program writes it: each line and CR LF, then the end mark.
inline std::string written_plain(std::initializer_list<std::string_view> lines) {
  return crlf_lines(lines) + "\x1A";
}

}  // namespace zeltrim::e2e
