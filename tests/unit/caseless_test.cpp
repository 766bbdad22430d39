// The index hashes eight bytes at once in lower case: every byte of a word must come out as the
// one caseless compare makes of it, whatever its neighbours.
#include "lines/caseless.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace zeltrim {
namespace {

TEST(Caseless, AWordAtATimeIsEachByteInLowerCase) {
  std::mt19937_64 random(1);
  for (int trial = 0; trial < 100000; ++trial) {
    std::uint64_t word = random();
    // Every byte near the letters and their edges, often: '@', 'A', 'Z', '[', and with 0x80 set.
    if (trial % 2 == 0) word = (word & 0x8080808080808080ULL) | 0x4141405A5B7A617BULL;
    std::uint64_t lowered = lower_ascii_word(word);
    char bytes[8];
    char expected[8];
    std::memcpy(bytes, &word, 8);
    for (int i = 0; i < 8; ++i) expected[i] = lower_ascii(bytes[i]);
    ASSERT_EQ(std::memcmp(&lowered, expected, 8), 0) << std::hex << word;
  }
}

}  // namespace
}  // namespace zeltrim
