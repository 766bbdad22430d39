// A spool hands on what it holds in order, whether the bytes stayed in memory or went to its
// scratch file, and a spool taken back to an earlier size forgets exactly what came after.
#include "platform/spool.h"

#include <gtest/gtest.h>

namespace zeltrim::platform {
namespace {

std::string drained(Spool& spool) {
  std::string all;
  spool.drain([&all](std::string_view bytes) { all.append(bytes); });
  return all;
}

TEST(Spool, RewindKeepsWhatCameFirst) {
  // Pieces of 5 bytes, spilled once 8 are held: the cuts fall in the file and in memory.
  for (std::size_t limit : {std::size_t{8}, std::size_t{1} << 20}) {
    for (std::uint64_t keep : {0, 3, 5, 9, 10, 14, 15, 16}) {
      SCOPED_TRACE(testing::Message() << "limit " << limit << " keep " << keep);
      Spool spool(system_disk(), limit);
      for (std::string_view piece : {"one, ", "two, ", "three"}) spool.append(piece);
      EXPECT_EQ(spool.size(), 15u);
      spool.rewind(keep);
      EXPECT_EQ(spool.size(), std::min<std::uint64_t>(keep, 15));
      spool.append("|and on");
      EXPECT_EQ(drained(spool), std::string("one, two, three").substr(0, keep) + "|and on");
      EXPECT_TRUE(spool.empty());
    }
  }
}

}  // namespace
}  // namespace zeltrim::platform
