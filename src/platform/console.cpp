#include "platform/console.h"

#include <cstdio>

#include "platform/system.h"

namespace zeltrim::platform {

namespace {
constexpr std::size_t kGatherBlock = 1 << 16;
constexpr std::size_t kOutputBuffer = 1 << 16;
constexpr std::size_t kPrintFromBlock = std::size_t{256} * 1024;
constexpr std::string_view kProgram = "zeltrim: ";

// The console as the system gives it. Output bound for a file or a pipe is gathered and handed on
// in large blocks: a run may report a million changed lines, and every hand-over to the standard
// library takes a lock.
class SystemConsole final : public Console {
 public:
  SystemConsole() {
    ConsoleStart start = platform::start_console();
    lost_ = start.lost;
    if (start.gather) {
      std::setvbuf(stdout, nullptr, _IOFBF, kOutputBuffer);
      gathering_ = true;
      gathered_.reserve(kGatherBlock);
    }
  }

  void print(std::string_view bytes) override {
    if (!gathering_) return hand_over(bytes);
    if (gathered_.size() + bytes.size() > kGatherBlock) {
      hand_over(gathered_);
      gathered_.clear();
    }
    if (bytes.size() >= kGatherBlock) return hand_over(bytes);
    gathered_.append(bytes);
  }

  void print_from(Disk& disk, File& file, std::uint64_t offset, std::uint64_t size) override {
    if (gathering_ && size > 0) {
      flush();  // what was printed before goes first
      if (!lost_.done()) return;
      std::uint64_t sent = 0;
      Status status = send_to_output(file, offset, size, sent);
      if (!status) return lose(status);
      offset += sent;
      size -= sent;
    }
    // A piece that cannot be read is not printed; nobody can act on its failure.
    static_cast<void>(
        read_range(disk, file, offset, size, kPrintFromBlock, [this](std::string_view bytes) {
          print(bytes);
          return Status();
        }));
  }

  void flush() override {
    hand_over(gathered_);
    gathered_.clear();
    if (std::fflush(stdout) != 0) lose(Status::last_error());
  }

  void error_line(std::string_view message) override {
    flush();  // what was printed before comes before it on a shared terminal
    std::string line(kProgram);
    line.append(message).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
  }

  void wait_for_enter() override {
    flush();
    platform::wait_for_enter();
  }

  void wait_for_key() override {
    flush();
    platform::wait_for_key();
  }

  Status read_input(std::string& bytes) override { return read_standard_input(bytes); }
  void show_utf8() override { platform::show_utf8(); }
  void restore() override { restore_console(); }
  Status output_failure() override { return lost_; }

 private:
  void hand_over(std::string_view bytes) {
    if (bytes.empty()) return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) {
      lose(Status::last_error());
    }
  }
  // The first failure to write standard output is the one told; the run goes on without its
  // report.
  void lose(const Status& reason) {
    if (lost_.done()) lost_ = reason;
  }

  bool gathering_ = false;
  std::string gathered_;
  Status lost_;
};
}  // namespace

std::string formatted(std::string_view format, std::string_view argument) {
  std::string text;
  format_pieces(format, {argument}, [&text](std::string_view piece) { text.append(piece); });
  return text;
}

std::string message_line(std::string_view format, std::string_view argument) {
  std::string line = formatted(format, argument);
  if (line.ends_with('\n')) line.pop_back();
  return line;
}

Console& system_console() {
  static SystemConsole console;
  return console;
}

}  // namespace zeltrim::platform
