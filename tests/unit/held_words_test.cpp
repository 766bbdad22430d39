// What command lines say comes back to each in the order it said it, whether it stayed in memory,
// went to records of the scratch file (written or still waiting), or no scratch file could take
// it; what a line forgot does not come back.
#include "commands/held_words.h"

#include <gtest/gtest.h>

#include <deque>

#include "faulty_disk.h"

namespace zeltrim {
namespace {

TEST(HeldWords, EachLineGetsBackWhatItSaidInOrder) {
  using Step = FaultyDisk::Step;
  // No memory at all, a little, plenty; the scratch file made, not made, failing a write.
  for (std::size_t limit : {std::size_t{0}, std::size_t{100}, std::size_t{1} << 24}) {
    for (auto failure : {Step::count_, Step::scratch, Step::write}) {
      SCOPED_TRACE(testing::Message()
                   << "limit " << limit << " step " << static_cast<int>(failure));
      FaultyDisk disk;
      if (failure != Step::count_) disk.fail(failure, failure == Step::write ? 1 : 0);
      HeldStore store(disk, limit);
      std::deque<HeldWords> lines;
      std::vector<std::string> wanted(3);
      for (int line = 0; line < 3; ++line) lines.emplace_back(&store);
      for (int said = 0; said < 6000; ++said) {
        int line = said * 7 % 3;
        // Now and then a line says more than a record waits for.
        std::string text = std::to_string(said) + std::string(said % 997 ? said % 50 : 70'000, 'x');
        lines[line].say("said %s\n", text);
        wanted[line] += "said " + text + "\n";
        if (said == 4000 && line == 1) {
          lines[line].forget();
          wanted[line].clear();
        }
      }
      for (int line = 0; line < 3; ++line) {
        std::string got;
        lines[line].drain([&got](std::string_view bytes) { got.append(bytes); });
        EXPECT_EQ(got, wanted[line]) << "line " << line;
      }
    }
  }
}

}  // namespace
}  // namespace zeltrim
