#include "run/held_console.h"

#include <cstring>

namespace zeltrim {

namespace {
constexpr std::size_t kPiece = std::size_t{64} * 1024;
// A record of what was kept: its kind, the length of its bytes, then the bytes.
constexpr std::size_t kHead = 1 + sizeof(std::uint64_t);
}  // namespace

void HeldConsole::keep(Kept kind, std::string_view bytes) {
  char head[kHead] = {static_cast<char>(kind)};
  std::uint64_t size = bytes.size();
  std::memcpy(head + 1, &size, sizeof size);
  kept_.append_parts({std::string_view(head, kHead), bytes});
}

void HeldConsole::mark(std::size_t at) {
  keep(Kept::mark, std::string_view(reinterpret_cast<const char*>(&at), sizeof at));
}

void HeldConsole::print(std::string_view bytes) {
  if (!holding_) return to_.print(bytes);
  keep(Kept::output, bytes);
}

void HeldConsole::print_from(platform::Disk& disk, platform::File& file, std::uint64_t offset,
                             std::uint64_t size) {
  if (!holding_) return to_.print_from(disk, file, offset, size);
  // A piece that cannot be read is not printed; nobody can act on its failure.
  static_cast<void>(
      platform::read_range(disk, file, offset, size, kPiece, [this](std::string_view bytes) {
        keep(Kept::output, bytes);
        return platform::Status();
      }));
}

void HeldConsole::error_line(std::string_view message) {
  if (!holding_) return to_.error_line(message);
  keep(Kept::error, message);
}

void HeldConsole::release(const std::function<void(std::size_t)>& at_mark) {
  holding_ = false;
  std::string kept;
  std::size_t at = 0;
  kept_.drain([&](std::string_view piece) {
    kept.append(piece);
    for (std::uint64_t size = 0; kept.size() - at >= kHead; at += kHead + size) {
      std::memcpy(&size, kept.data() + at + 1, sizeof size);
      if (kept.size() - at - kHead < size) break;
      std::string_view bytes = std::string_view(kept).substr(at + kHead, size);
      auto kind = static_cast<Kept>(kept[at]);
      if (kind == Kept::output) {
        to_.print(bytes);
      } else if (kind == Kept::error) {
        to_.error_line(bytes);
      } else {
        std::size_t mark = 0;
        std::memcpy(&mark, bytes.data(), sizeof mark);
        at_mark(mark);
      }
    }
    kept.erase(0, at);
    at = 0;
  });
}

}  // namespace zeltrim
