#include "platform/console.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/system.h"

namespace zeltrim::platform {

namespace {
// Output bound for a file or a pipe is gathered here and handed on in large blocks: a run may
// report a million changed lines, and every hand-over to the standard library takes a lock.
bool gathering = false;
std::string gathered;
constexpr std::size_t kGatherBlock = 1 << 16;
constexpr std::size_t kPrintFromBlock = std::size_t{256} * 1024;

// The first failure to write standard output; the run goes on without its report.
Status lost_output;

void hand_over(std::string_view bytes) {
  if (bytes.empty()) return;
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) {
    note_output_failure(Status::last_error());
  }
}

// Calls `piece` with each piece of the formatted text in turn.
template <typename Piece>
void format(std::string_view format, std::initializer_list<std::string_view> arguments,
            Piece&& piece) {
  // Most messages hold one argument: a label, the text, and the line's end.
  if (arguments.size() == 1) {
    std::size_t at = format.find('%');
    if (at != std::string_view::npos && at + 1 < format.size() && format[at + 1] == 's' &&
        format.find('%', at + 2) == std::string_view::npos) {
      piece(format.substr(0, at));
      piece(*arguments.begin());
      piece(format.substr(at + 2));
      return;
    }
  }
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
}  // namespace

void gather_output() {
  gathering = true;
  gathered.reserve(kGatherBlock);
}

void print(std::string_view bytes) {
  if (!gathering) return hand_over(bytes);
  if (gathered.size() + bytes.size() > kGatherBlock) {
    hand_over(gathered);
    gathered.clear();
  }
  if (bytes.size() >= kGatherBlock) return hand_over(bytes);
  gathered.append(bytes);
}

void print_from(Disk& disk, File& file, std::uint64_t offset, std::uint64_t size) {
  if (gathering && size > 0) {
    flush_output();  // what was printed before goes first
    if (!lost_output.done()) return;
    std::uint64_t sent = 0;
    Status status = send_to_output(file, offset, size, sent);
    if (!status) return note_output_failure(status);
    offset += sent;
    size -= sent;
  }
  std::string block;
  while (size > 0) {
    block.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size, kPrintFromBlock)));
    std::size_t got = 0;
    if (!disk.read_at(file, offset, block.data(), block.size(), got) || got == 0) return;
    print({block.data(), got});
    offset += got;
    size -= got;
  }
}

void format_pieces(std::string_view format_text, std::initializer_list<std::string_view> arguments,
                   const std::function<void(std::string_view)>& piece) {
  format(format_text, arguments, piece);
}

void append_formatted(std::string& out, std::string_view format_text,
                      std::initializer_list<std::string_view> arguments) {
  format(format_text, arguments, [&](std::string_view piece) { out.append(piece); });
}

void say(std::string_view format_text, std::initializer_list<std::string_view> arguments) {
  format(format_text, arguments, [](std::string_view piece) { print(piece); });
}

void say(std::string_view format, std::string_view argument) { say(format, {argument}); }

void say(std::string_view format, long long number) { say(format, {std::to_string(number)}); }

void flush_output() {
  hand_over(gathered);
  gathered.clear();
  if (std::fflush(stdout) != 0) note_output_failure(Status::last_error());
}

void note_output_failure(const Status& reason) {
  if (lost_output.done()) lost_output = reason;
}

Status output_failure() { return lost_output; }

void tell_error(std::string_view line) {
  flush_output();  // what was printed before comes before it on a shared terminal
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

}  // namespace zeltrim::platform
