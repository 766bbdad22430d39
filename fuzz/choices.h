// The choices of a harness that builds its jobs: the input's bytes one by one, then a generator
// seeded with all of them, so that every input makes one job and a longer one a larger job.
// Harness code only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zeltrim::fuzz {

class Choices {
 public:
  explicit Choices(std::string_view input) : input_(input) {
    for (char c : input) state_ = (state_ ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  }
  // A number below `count`.
  std::size_t next(std::size_t count) {
    if (used_ < input_.size()) return static_cast<unsigned char>(input_[used_++]) % count;
    // splitmix64
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return static_cast<std::size_t>((z ^ (z >> 31)) % count);
  }
  bool one_in(std::size_t count) { return next(count) == 0; }
  template <std::size_t N>
  std::string_view pick(const std::string_view (&from)[N]) {
    return from[next(N)];
  }

 private:
  std::string_view input_;
  std::size_t used_ = 0;
  std::uint64_t state_ = 14695981039346656037ULL;
};

}  // namespace zeltrim::fuzz
