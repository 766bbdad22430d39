// The console: every message goes to standard output as raw bytes, and the waits of test mode
// read standard input. Messages use printf-like formats where %s and %d each take the next
// argument, already turned into text, so a text may hold any byte.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace zeltrim::platform {

// Prepares standard output and the clean-up on interruption; called once at start-up.
void start_console();

// Writes bytes to standard output unchanged.
void print(std::string_view bytes);
// Prints `size` bytes of `file` from `offset` on: where output is gathered, they go from the
// file to standard output without passing through the program, wherever the system can.
void print_from(Disk& disk, File& file, std::uint64_t offset, std::uint64_t size);

// Hands `format`, with each %s or %d replaced by the next argument, to `piece` in pieces.
template <typename Piece>
void format_pieces(std::string_view format, std::initializer_list<std::string_view> arguments,
                   Piece&& piece) {
  const std::string_view* next = arguments.begin();
  std::size_t done = 0;
  for (std::size_t at = format.find('%'); at != std::string_view::npos && at + 1 < format.size();
       at = format.find('%', at + 2)) {
    char conversion = format[at + 1];
    if ((conversion != 's' && conversion != 'd') || next == arguments.end()) continue;
    piece(format.substr(done, at - done));
    piece(*next++);
    done = at + 2;
  }
  piece(format.substr(done));
}

// Prints `format` with each %s or %d replaced by the next argument.
void say(std::string_view format, std::initializer_list<std::string_view> arguments = {});
void say(std::string_view format, std::string_view argument);

// The console shows what is printed as UTF-8 from now on (Windows switches its code page, and
// restore_console switches it back); elsewhere it already does.
void show_utf8();
void restore_console();

// Sends what has been printed so far to the console.
void flush_output();

// Writes one line to standard error at once: the system's reason for a failure.
void tell_error(std::string_view line);

// Why standard output could not take everything printed so far (closed, a full disk, a reader
// that has gone), or done when it could. Meaningful after flush_output.
Status output_failure();

// Reads standard input to its end, byte for byte (on Windows in binary mode, so that neither a
// 0x1A nor a CR is lost), into `bytes`.
Status read_standard_input(std::string& bytes);

// The Enter wait: reads one byte of standard input; returns at once at the end of input.
void wait_for_enter();

// The key wait: reads one key press without echo and without Enter when standard input is a
// terminal, restoring the terminal afterwards; returns at once when it is not a terminal.
void wait_for_key();

}  // namespace zeltrim::platform
