// Machine files with logical drives: their disk devices and the checks.
#include <gtest/gtest.h>

#include "raid/raid_fixture.h"
#include "sim/machine_description.h"

namespace lumbrel::test {
namespace {

class LogicalDriveMachineTest : public RaidTest {};

TEST_F(LogicalDriveMachineTest, DiskDeviceAnswersWithTheLogicalDrivesAddress) {
  Build(R"({"ports":[{},{"driver":"mraidnt","buses":[{"devices":[{"target":0},{"target":1}]}],
    "logicalDrives":[{"level":1,"spans":[{"drives":[{"target":0},{"target":1}]}]},
                     {"level":0,"physicalDrive":0,"spans":[{"drives":[{"target":1}]}]}]}]})");
  ScsiAddressCache cache;
  cache.Refresh();
  std::uint32_t index = 0;
  ASSERT_TRUE(cache.Find(1, 0, 1, &index));
  EXPECT_EQ(cache.entry(index).deviceNumber, 0u);
}

TEST_F(LogicalDriveMachineTest, DiskDeviceNumberMayNotClashWithADrives) {
  const auto parse = [](const std::string& json) { return sim::ParseMachine(nlohmann::json::parse(json)); };
  EXPECT_THROW(parse(R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":0,"physicalDrive":3}]}]},
    {"driver":"mraidnt","buses":[{"devices":[{"target":0}]}],
     "logicalDrives":[{"physicalDrive":3,"spans":[{"drives":[{"target":0}]}]}]}]})"),
               sim::MachineFormatError);
}

TEST_F(LogicalDriveMachineTest, MembersMustBeDevicesOfThePort) {
  EXPECT_THROW(sim::ParseMachine(nlohmann::json::parse(R"({"ports":[{"driver":"HHBA5100","buses":[{}],
    "logicalDrives":[{"spans":[{"drives":[{"target":4}]}]}]}]})")),
               sim::MachineFormatError);
}

}  // namespace
}  // namespace lumbrel::test
