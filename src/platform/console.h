// The console: every message goes to standard output as raw bytes, each failure's reason to
// standard error, and the waits of test mode read standard input. Messages use printf-like
// formats where %s and %d each take the next argument, already turned into text, so a text may
// hold any byte. The program reaches the console only through a Console, as it reaches the disk
// through a Disk, so that a port changes one folder.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace zeltrim::platform {

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

// `format` with its %s or %d replaced by `argument`; message_line without its final line break.
std::string formatted(std::string_view format, std::string_view argument);
std::string message_line(std::string_view format, std::string_view argument);

class Console {
 public:
  // Writes bytes to standard output unchanged.
  virtual void print(std::string_view bytes) = 0;
  // Prints `size` bytes of `file` from `offset` on: where output is gathered, they go from the
  // file to standard output without passing through the program, wherever the system can.
  virtual void print_from(Disk& disk, File& file, std::uint64_t offset, std::uint64_t size) = 0;
  // Sends what has been printed so far to the console.
  virtual void flush() = 0;
  // Writes "zeltrim: " and the message as one line to standard error at once, after what was
  // printed before it.
  virtual void error_line(std::string_view message) = 0;
  // The Enter wait: reads one byte of standard input; returns at once at the end of input.
  virtual void wait_for_enter() = 0;
  // The key wait: reads one key press without echo and without Enter when standard input is a
  // terminal, restoring the terminal afterwards; returns at once when it is not a terminal.
  virtual void wait_for_key() = 0;
  // Reads standard input to its end, byte for byte (on Windows in binary mode, so that neither a
  // 0x1A nor a CR is lost), into `bytes`.
  virtual Status read_input(std::string& bytes) = 0;
  // The console shows what is printed as UTF-8 from now on (Windows switches its code page, and
  // restore switches it back); elsewhere it already does.
  virtual void show_utf8() = 0;
  virtual void restore() = 0;
  // Why standard output could not take everything printed so far (closed, a full disk, a reader
  // that has gone), or done when it could. Meaningful after flush.
  virtual Status output_failure() = 0;

  // Prints `format` with each %s or %d replaced by the next argument.
  void say(std::string_view format, std::initializer_list<std::string_view> arguments = {}) {
    format_pieces(format, arguments, [this](std::string_view piece) { print(piece); });
  }
  // The program's one form of a line on standard error: "zeltrim: message", or
  // "zeltrim: SUBJECT: message" where it is about a file or an instruction line (JOB.ZT:LINE).
  void error(std::string_view message) { error_line(message); }
  void error(std::string_view subject, std::string_view message) {
    error_line(std::string(subject).append(": ").append(message));
  }

 protected:
  ~Console() = default;
};

// The console of the process, made ready for the run (standard descriptors held, output
// gathered where it is no terminal, the clean-up on interruption armed) when first asked for.
Console& system_console();

}  // namespace zeltrim::platform
