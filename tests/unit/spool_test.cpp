// A spool hands on what it holds in order, whether the bytes stayed in memory or went to its
// scratch file, and one spool's bytes appended to another sharing its file keep their place.
#include "platform/spool.h"

#include <gtest/gtest.h>

#include "faulty_disk.h"

namespace zeltrim::platform {
namespace {

TEST(Spool, AppendedSpoolsKeepTheirOrder) {
  // Pieces of 5 bytes, spilled once 8 are held, or never; a long piece goes to the file at once.
  for (std::size_t limit : {std::size_t{8}, std::size_t{1} << 20}) {
    SCOPED_TRACE(testing::Message() << "limit " << limit);
    Spool first(system_disk(), limit), second(system_disk(), limit);
    second.share_file_with(first);
    for (std::string_view piece : {"one, ", "two, "}) first.append(piece);
    for (std::string_view piece : {"three", ", a long fourth, ", "five"}) second.append(piece);
    first.append_all(second);
    first.append("|six|");
    std::string all;
    first.drain([&all](std::string_view bytes) { all.append(bytes); });
    EXPECT_EQ(all, "one, two, three, a long fourth, five|six|");
  }
}

TEST(Spool, ASpoolHandedOnKeepsSharingTheFile) {
  FaultyDisk disk;
  disk.fail(FaultyDisk::Step::scratch, 1);  // a second scratch file cannot be made
  Spool out(disk, 8), hunk(disk, 8);
  hunk.share_file_with(out);
  for (std::string_view piece : {"one|", "a long second piece|"}) {
    hunk.append(piece);  // the first stays in memory, the second goes to the file
    out.append_all(hunk);
  }
  std::string all;
  out.drain([&all](std::string_view bytes) { all.append(bytes); });
  EXPECT_EQ(all, "one|a long second piece|");
  EXPECT_TRUE(disk.pending(FaultyDisk::Step::scratch));  // one scratch file did for both
}

}  // namespace
}  // namespace zeltrim::platform
