// The views of every port and the lookups over them: member expansion,
// array status, RAID level, the refresh throttle and the resources left.
#include "raid/raid_config_list.h"

#include <gtest/gtest.h>

#include "raid/raid_fixture.h"

namespace lumbrel::test {
namespace {

constexpr const char* kMirrorAndStripe = R"([
  {"level": 5, "state": 1, "spans": [{"drives": [{"target": 0}, {"target": 1}, {"target": 2}]}]},
  {"level": 1, "state": 2, "spans": [{"drives": [{"target": 1}, {"target": 3}]}]}])";

class RaidListTest : public RaidTest {
 protected:
  std::vector<DriveAddress> Expand(DriveAddress address, std::uint32_t expected = 0) {
    DriveAddress members[kMaxMembers];
    std::uint32_t count = 0;
    EXPECT_EQ(Views().ExpandLogicalDrive(address, &count, members), expected);
    return std::vector<DriveAddress>(members, members + count);
  }
};

TEST_F(RaidListTest, AddressThatIsNoLogicalDriveExpandsToItself) {
  BuildPort("mraidnt", 4, kMirrorAndStripe);
  const auto members = Expand({9, 0, 0}, 55);
  ASSERT_EQ(members.size(), 1u);
  EXPECT_TRUE(members[0] == (std::initializer_list<int>{9, 0, 0}));
}

TEST_F(RaidListTest, NonArrayPortHasOnePseudoLogicalDrive) {
  Build(R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":2}]}]}]})");
  const auto members = Expand({2, 0, 0});
  ASSERT_EQ(members.size(), 1u);
  EXPECT_TRUE(members[0] == (std::initializer_list<int>{2, 0, 0}));
  std::uint32_t status = 0, level = 0;
  EXPECT_EQ(Views().FindArrayStatus({2, 0, 0}, &status), 0u);
  EXPECT_EQ(status, 3u);
  EXPECT_EQ(Views().FindRaidLevel({2, 0, 0}, &level), 0u);
  EXPECT_EQ(level, kRaidLevelNone);
  EXPECT_EQ(ControllerCommands(), 0u);
}

TEST_F(RaidListTest, PortBeyondTheListIsNotSupported) {
  Build(R"({"ports":[{"driver":"aic78xx","buses":[{}]}]})");
  const auto members = Expand({4, 0, 3}, 1200);
  ASSERT_EQ(members.size(), 1u);
  EXPECT_TRUE(members[0] == (std::initializer_list<int>{4, 0, 3}));
  std::uint32_t status = 77, level = 0;
  EXPECT_EQ(Views().FindArrayStatus({4, 0, 3}, &status), 1200u);
  EXPECT_EQ(status, 77u) << "left untouched";
  EXPECT_EQ(Views().FindRaidLevel({4, 0, 3}, &level), 1200u);
  EXPECT_EQ(level, kRaidLevelNone);
}

TEST_F(RaidListTest, ArrayStatusIsTheHighestAmongTheDrivesArrays) {
  BuildPort("mraidnt", 4, kMirrorAndStripe);  // states 1 and 2: statuses 4 and 3
  std::uint32_t status = 0;
  EXPECT_EQ(Views().FindArrayStatus({1, 0, 0}, &status), 0u);
  EXPECT_EQ(status, 4u);
  EXPECT_EQ(Views().FindArrayStatus({3, 0, 0}, &status), 0u);
  EXPECT_EQ(status, 3u);
  EXPECT_EQ(Views().FindArrayStatus({7, 0, 0}, &status), 0u);
  EXPECT_EQ(status, 0u);
}

TEST_F(RaidListTest, LogicalDriveWithoutMembersSetsTheStatusWhereItStands) {
  // Status 6 (state 4) for the member, then a member-less drive of status 3.
  BuildPort("mraidnt", 2, R"([{"level": 1, "state": 4, "spans": [{"drives": [{"target": 0}]}]},
                              {"level": 0, "state": 2, "spans": []}])");
  std::uint32_t status = 0;
  EXPECT_EQ(Views().FindArrayStatus({0, 0, 0}, &status), 0u);
  EXPECT_EQ(status, 3u);
}

TEST_F(RaidListTest, ControllerIsReadAgainOnlyAfter15Seconds) {
  BuildPort("mraidnt", 4, kMirrorAndStripe);
  Expand({0, 0, 0});
  const std::size_t first = ControllerCommands();
  EXPECT_EQ(first, 2u);  // enquiry and configuration
  AdvanceSeconds(14);
  Expand({0, 0, 0});
  EXPECT_EQ(ControllerCommands(), first);
  AdvanceSeconds(1);
  Expand({0, 0, 0});
  EXPECT_EQ(ControllerCommands(), first + 1) << "configuration only: the version is known";
}

TEST_F(RaidListTest, HhbaControllerIsThrottledToo) {
  BuildPort("HHBA5100", 2, R"([{"level": 1, "state": 3, "spans": [{"drives": [{"target": 0}, {"target": 1}]}]}])");
  Expand({0, 0, 0});
  AdvanceSeconds(10);
  Expand({0, 0, 0});
  EXPECT_EQ(ControllerCommands(), 2u);
  AdvanceSeconds(5);
  Expand({0, 0, 0});
  EXPECT_EQ(ControllerCommands(), 3u);
}

TEST_F(RaidListTest, ThirtyThirdDistinctMemberIsDropped) {
  NonArrayConfig view;
  ASSERT_EQ(view.SetLogicalDriveCount(1), 0u);
  for (std::uint8_t t = 0; t < kMaxMembers; ++t) EXPECT_EQ(view.AddMember(0, {t, 1, 0}), 1u);
  EXPECT_EQ(view.AddMember(0, {5, 1, 0}), 1u) << "already listed";
  EXPECT_EQ(view.AddMember(0, {40, 1, 0}), 0u);
  EXPECT_EQ(view.logicalDrives[0].memberCount, kMaxMembers);
  EXPECT_EQ(view.AddMember(1, {0, 0, 0}), 0u) << "no such record";
}

TEST_F(RaidListTest, NothingStaysOpenAfterTheListsAreFreed) {
  Build(R"({"ports":[
    {"driver":"mraidnt","buses":[{"devices":[{"target":0}]}],
     "logicalDrives":[{"level":0,"spans":[{"drives":[{"target":0}]}]}]},
    {"driver":"HHBA5100","buses":[{"devices":[{"target":0}]}]},
    {"driver":"aic78xx","buses":[{"devices":[{"target":0}]}]}]})");
  Expand({0, 0, 0});
  Expand({0, 0, 1}, 55);  // the HHBA5100 reports no logical drives
  Expand({0, 0, 2});
  Views().FreeRaidConfigList();
  Adapters().FreeAdapterList();
  EXPECT_EQ(machine().OpenHandleCount(), 0u);
  EXPECT_EQ(machine().OpenKeyCount(), 0u);
  EXPECT_EQ(machine().LiveAllocationCount(), 0u);
}

}  // namespace
}  // namespace lumbrel::test
