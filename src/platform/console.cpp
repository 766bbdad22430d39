#include "platform/console.h"

#include <cstdio>

#include "platform/system.h"

namespace zeltrim::platform {

namespace {
// Output bound for a file or a pipe is gathered here and handed on in large blocks: a run may
// report a million changed lines, and every hand-over to the standard library takes a lock.
bool gathering = false;
std::string gathered;
constexpr std::size_t kGatherBlock = 1 << 16;
constexpr std::size_t kOutputBuffer = 1 << 16;
constexpr std::size_t kPrintFromBlock = std::size_t{256} * 1024;

// The first failure to write standard output; the run goes on without its report.
Status lost_output;

void hand_over(std::string_view bytes) {
  if (bytes.empty()) return;
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) {
    note_output_failure(Status::last_error());
  }
}
}  // namespace

void gather_output() {
  std::setvbuf(stdout, nullptr, _IOFBF, kOutputBuffer);
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
  // A piece that cannot be read is not printed; nobody can act on its failure.
  static_cast<void>(
      read_range(disk, file, offset, size, kPrintFromBlock, [](std::string_view bytes) {
        print(bytes);
        return Status();
      }));
}

void say(std::string_view format, std::initializer_list<std::string_view> arguments) {
  format_pieces(format, arguments, [](std::string_view piece) { print(piece); });
}

void say(std::string_view format, std::string_view argument) { say(format, {argument}); }

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
