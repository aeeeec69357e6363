// The MegaRAID view: enquiry and configuration mailboxes, decoded.
#include "raid/megaraid_config.h"

#include <gtest/gtest.h>

#include "raid/raid_fixture.h"

namespace lumbrel::test {
namespace {

// Two logical drives over the drives at targets 0..5 of bus 0: RAID 5 of two
// spans (state 0), RAID 1 of one span (state 4).
constexpr const char* kTwoLogicalDrives = R"([
  {"level": 5, "state": 0, "spans": [
    {"drives": [{"target": 2, "blocks": 100}, {"target": 1, "blocks": 100}]},
    {"blocks": 250, "drives": [{"target": 3}, {"target": 1}]}]},
  {"level": 1, "state": 4, "spans": [{"drives": [{"target": 4, "blocks": 7}, {"target": 5, "blocks": 7}]}]}])";

class MegaRaidConfigTest : public RaidTest {};

TEST_F(MegaRaidConfigTest, LogicalDrivesTakeBusZeroAndTheirNumber) {
  BuildPort("mraidnt", 6, kTwoLogicalDrives);
  RaidConfig& view = View(0);
  ASSERT_EQ(view.logicalDriveCount, 2u);
  EXPECT_TRUE(view.logicalDrives[0].address == (std::initializer_list<int>{0, 0, 0}));
  EXPECT_TRUE(view.logicalDrives[1].address == (std::initializer_list<int>{1, 0, 0}));
}

TEST_F(MegaRaidConfigTest, LevelStatusAndCapacityOfEachLogicalDrive) {
  BuildPort("mraidnt", 6, kTwoLogicalDrives);
  std::uint32_t level = 0, status = 0, capacity = 0;
  ASSERT_EQ(View(0).GetLogicalDriveInfo(0, &level, &status, &capacity), 0u);
  EXPECT_EQ(level, 5u);
  EXPECT_EQ(status, 1u);       // state 0
  EXPECT_EQ(capacity, 450u);   // both spans' blocks
  ASSERT_EQ(View(0).GetLogicalDriveInfo(1, &level, &status, &capacity), 0u);
  EXPECT_EQ(level, 1u);
  EXPECT_EQ(status, 6u);       // state 4
  EXPECT_EQ(capacity, 14u);
  EXPECT_EQ(View(0).GetLogicalDriveInfo(2, nullptr, nullptr, nullptr), 55u);
}

TEST_F(MegaRaidConfigTest, MembersInReportedOrderEachOnce) {
  BuildPort("mraidnt", 6, kTwoLogicalDrives);
  const DriveAddress* members = nullptr;
  std::uint32_t count = 0;
  ASSERT_EQ(View(0).GetMembers(0, &members, &count), 0u);
  ASSERT_EQ(count, 3u);
  EXPECT_TRUE(members[0] == (std::initializer_list<int>{2, 0, 0}));
  EXPECT_TRUE(members[1] == (std::initializer_list<int>{1, 0, 0}));
  EXPECT_TRUE(members[2] == (std::initializer_list<int>{3, 0, 0}));
}

TEST_F(MegaRaidConfigTest, VersionTextsFromTheEnquiry) {
  // Bytes 4..7: 1, 5, '3', 'G'; 13..16: 16, 2, '1', 'B'.
  BuildPort("mraidnt", 1, "[]");
  EXPECT_STREQ(View(0).firmwareVersion, "G3.05.01");
  EXPECT_STREQ(View(0).biosVersion, "B1.02.16");
}

TEST_F(MegaRaidConfigTest, StatesOutsideTheTableGiveNoStatus) {
  BuildPort("mraidnt", 2, R"([{"level": 0, "state": 9, "spans": [{"drives": [{"target": 0}]}]}])");
  EXPECT_EQ(View(0).logicalDrives[0].status, 0u);
  EXPECT_EQ(MapMegaRaidState(8), 3u);
  EXPECT_EQ(MapMegaRaidState(255), 0u);
}

TEST_F(MegaRaidConfigTest, DeclaredCountsAreCutToTheReplyAndTheLayout) {
  // 255 logical drives, each claiming 255 spans of 255 drives: the reply
  // holds 19 entries, an entry 4 spans, a span 8 drives.
  std::string reply = "FF000000";
  for (int i = 0; i < 19; ++i) {
    std::string entry = "FF0100000000" "00FF";
    for (int s = 0; s < 4; ++s) {
      entry += "00000000" "0A000000";
      for (int d = 0; d < 8; ++d) entry += "000" + std::string(1, "0123456789ABCDEF"[(s * 8 + d) % 16]);
    }
    reply += entry;
  }
  BuildPort("mraidnt", 1, "[]", R"(,"configurationReply":")" + reply + "\"");
  RaidConfig& view = View(0);
  ASSERT_EQ(view.logicalDriveCount, 19u);
  EXPECT_EQ(view.logicalDrives[18].capacity, 40u);
  EXPECT_EQ(view.logicalDrives[18].memberCount, 16u);  // 32 entries, 16 distinct targets
}

}  // namespace
}  // namespace lumbrel::test
