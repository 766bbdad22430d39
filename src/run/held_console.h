// The console as a run prints to it: everything goes straight on, but while new content waits to
// be put in place together with others, what is printed after it is kept, in its order (standard
// output and standard error alike), and printed once all of it is in place; each waiting
// target's own results are then printed where its mark stands. So what a run prints reads as if
// every target were written back the moment its lines had passed.
#pragma once

#include <functional>
#include <memory>

#include "platform/spool.h"

namespace zeltrim {

class HeldConsole final : public platform::Console {
 public:
  // What is kept goes to `store`, the scratch file the run's spools share.
  HeldConsole(platform::Console& to, std::shared_ptr<platform::SpoolFile> store)
      : to_(to), store_(std::move(store)), kept_(store_) {}

  const std::shared_ptr<platform::SpoolFile>& store() const { return store_; }

  // From now on what is printed is kept; `mark` is where waiting target `at` prints its results.
  void hold() { holding_ = true; }
  void mark(std::size_t at);
  // Prints everything kept, in order, calling `at_mark` for each mark, and prints at once from
  // then on.
  void release(const std::function<void(std::size_t)>& at_mark);

  void print(std::string_view bytes) override;
  void print_from(platform::Disk& disk, platform::File& file, std::uint64_t offset,
                  std::uint64_t size) override;
  void flush() override {
    if (!holding_) to_.flush();
  }
  void error_line(std::string_view message) override;
  void wait_for_enter() override { to_.wait_for_enter(); }
  void wait_for_key() override { to_.wait_for_key(); }
  platform::Status read_input(std::string& bytes) override { return to_.read_input(bytes); }
  void show_utf8() override { to_.show_utf8(); }
  void restore() override { to_.restore(); }
  platform::Status output_failure() override { return to_.output_failure(); }

 private:
  enum class Kept : char { output, error, mark };
  void keep(Kept kind, std::string_view bytes);

  platform::Console& to_;
  std::shared_ptr<platform::SpoolFile> store_;
  bool holding_ = false;
  platform::Spool kept_;
};

}  // namespace zeltrim
