// The HHBA5100 view: controller commands 0x20, decoded.
#include "raid/hhba5100_config.h"

#include <gtest/gtest.h>

#include "raid/raid_fixture.h"

namespace lumbrel::test {
namespace {

// RAID 5 over four drives of 1000 blocks in two spans, RAID 1 over two.
constexpr const char* kTwoArrayDrives = R"([
  {"level": 5, "state": 255, "spans": [
    {"drives": [{"target": 0, "blocks": 1000}, {"target": 1, "blocks": 1000}]},
    {"drives": [{"target": 2, "blocks": 1000}, {"target": 3, "blocks": 1000}]}]},
  {"level": 1, "state": 4, "spans": [{"drives": [{"target": 4, "blocks": 1000}, {"target": 5, "blocks": 1000}]}]}])";

class Hhba5100ConfigTest : public RaidTest {};

TEST_F(Hhba5100ConfigTest, Raid5LosesOneMembersShare) {
  BuildPort("HHBA5100", 6, kTwoArrayDrives);
  const LogicalDrive& drive = View(0).logicalDrives[0];
  EXPECT_EQ(drive.raidLevel, 5u);
  EXPECT_EQ(drive.status, 1u);  // state 0xFF
  EXPECT_EQ(drive.capacity, 3000u);
  EXPECT_EQ(drive.memberCount, 4u);
  EXPECT_TRUE(drive.address == (std::initializer_list<int>{0, 0, 0}));
}

TEST_F(Hhba5100ConfigTest, Raid1HalvesTheMembersBlocks) {
  BuildPort("HHBA5100", 6, kTwoArrayDrives);
  const LogicalDrive& drive = View(0).logicalDrives[1];
  EXPECT_EQ(drive.status, 6u);  // state 4
  EXPECT_EQ(drive.capacity, 1000u);
  EXPECT_TRUE(drive.members[1] == (std::initializer_list<int>{5, 0, 0}));
}

TEST_F(Hhba5100ConfigTest, Level7AndTheHighBitMeanNoLevel) {
  BuildPort("HHBA5100", 1, R"([{"level": 135, "state": 3, "spans": [{"drives": [{"target": 0}]}]}])");
  EXPECT_EQ(View(0).logicalDrives[0].raidLevel, kRaidLevelNone);
  EXPECT_EQ(View(0).logicalDrives[0].status, 3u);
}

TEST_F(Hhba5100ConfigTest, VersionTextFromMajorAndMinorOfTheReply) {
  BuildPort("HHBA5100", 1, "[]");
  EXPECT_STREQ(View(0).firmwareVersion, "2.07");
  std::string reply(84, '0');
  reply.replace(80, 4, "0C01");  // byte 40 = 12, byte 41 = 1
  BuildPort("HHBA5100", 1, "[]", R"(,"versionReply":")" + reply + "\"");
  EXPECT_STREQ(View(0).firmwareVersion, "1.12");
}

TEST_F(Hhba5100ConfigTest, AShortReplyReadsAsZerosPastItsEnd) {
  // The version reply before it holds, where a configuration has its
  // count, the count 1 and a RAID 5 entry; the configuration is one byte.
  std::string version(2 * 5120, '0');
  version.replace(2 * 8, 2, "01");
  version.replace(2 * 12, 6, "FF0501");
  version.replace(2 * 40, 4, "0C01");
  BuildPort("HHBA5100", 1, "[]", R"(,"versionReply":")" + version + R"(","configurationReply":"00")");
  RaidConfig& view = View(0);
  EXPECT_STREQ(view.firmwareVersion, "1.12");
  EXPECT_EQ(view.logicalDriveCount, 0u) << "nothing of the version reply";
}

TEST_F(Hhba5100ConfigTest, DeclaredCountsAreCutToTheReplyAndTheLayout) {
  // 255 logical drives claiming 255 spans of 255 drives: the 5120-byte
  // reply holds 12 entries, an entry 8 spans, a span 4 drives.
  std::string entry = "FF05FF00";
  for (int s = 0; s < 8; ++s) {
    entry += "FF000000";
    for (int d = 0; d < 4; ++d) entry += "000" + std::string(1, "0123456789ABCDEF"[d * 4 % 16]) + "000000000000" "01000000";
  }
  const std::string reply = "0000000000000000" "FF000000" + entry + entry + entry.substr(0, 400);
  BuildPort("HHBA5100", 1, "[]", R"(,"configurationReply":")" + reply + "\"");
  RaidConfig& view = View(0);
  ASSERT_EQ(view.logicalDriveCount, 12u);
  EXPECT_EQ(view.logicalDrives[1].memberCount, 4u);
  EXPECT_EQ(view.logicalDrives[1].capacity, 32u - 32u / 4u);  // 32 blocks, RAID 5 over 4 members
}

TEST_F(Hhba5100ConfigTest, StatusMapAndCapacityRules) {
  EXPECT_EQ(MapHhbaStatus(0), 0u);
  LogicalDrive empty;
  empty.raidLevel = 5;
  empty.capacity = 900;
  EXPECT_EQ(AdjustCapacity(empty, 0), 1u);
  EXPECT_EQ(empty.capacity, 900u) << "no members: nothing to remove";
  LogicalDrive striped;
  striped.raidLevel = 0;
  striped.capacity = 900;
  EXPECT_EQ(AdjustCapacity(striped, 3), 0u);
  EXPECT_EQ(striped.capacity, 900u);
}

}  // namespace
}  // namespace lumbrel::test
