// The run's report as the run sees it: every event goes straight on to the report the command
// line chose, but while new content waits to be put in place together with others, everything
// said after it is kept, in its order, and passed on once all of it is settled; each waiting
// target's own results are then said where its mark stands. So standard output reads as if every
// target were written back the moment its lines had passed.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "run/report.h"

namespace zeltrim {

class HeldReport final : public Report {
 public:
  HeldReport(Report& to, std::shared_ptr<platform::SpoolFile> store)
      : to_(to), kept_(std::move(store)) {}

  bool holding() const { return holding_; }
  // From now on every event is kept; `mark` is where waiting target `at` says its results.
  void hold() { holding_ = true; }
  void mark(std::size_t at);
  // Passes on every event kept, in order, calling `at_mark` for each mark, and passes events on
  // at once from then on.
  void release(const std::function<void(std::size_t)>& at_mark);

  void stopped(std::string_view line) override { to_.stopped(line); }
  void problem(const Notice& problem, bool shown) override;
  void warning(const Notice& warning) override;
  void named(std::string_view path, Naming naming) override;
  void kind(EncodingKind kind) override;
  void waiting(std::string_view path) override { to_.waiting(path); }
  void refused(std::string_view line, const std::optional<std::string>& reason) override;
  void change(long long line, char letter, Change change, std::string_view text) override;
  void trace(std::string_view text) override;
  void wait(Wait wait) override { to_.wait(wait); }
  void diff(std::string_view notes, platform::Spool& diff) override;
  void written(const WriteNotice& written) override;
  void ended(bool clean) override { to_.ended(clean); }
  void told(std::string_view subject, std::string_view message) override;

 private:
  class Record;
  void keep(Record record);

  Report& to_;
  bool holding_ = false;
  platform::Spool kept_;
};

}  // namespace zeltrim
