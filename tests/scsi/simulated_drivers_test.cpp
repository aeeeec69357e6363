// Every adapter variant against the simulated drivers of its family, end to
// end: the drivers check each request as a real driver would, so a request
// block that is wrong in any byte they look at fails here.
#include <cstring>

#include "scsi/adapter_list.h"
#include "scsi/scsi_adapter.h"
#include "scsi/scsi_fixture.h"

namespace lumbrel::test {
namespace {

// On each port: a ready disk at 3, a disk that is not ready at 6, a CD-ROM
// at 5; nothing at 9. Disks on ports that Windows sees
// are claimed by the disk class driver.
constexpr const char* kMachine = R"({"ports":[
  {"driver":"aic78xx","buses":[{"devices":[
     {"target":0,"physicalDrive":0},{"target":3},{"target":6,"ready":false},{"target":5,"type":5}]},
   {"devices":[{"target":2,"physicalDrive":1}]}]},
  {"driver":"HHBA5100","buses":[{"devices":[
     {"target":0,"physicalDrive":2},{"target":3},{"target":6,"ready":false},{"target":5,"type":5}]}]},
  {"driver":"mraidnt","buses":[{"devices":[{"target":3},{"target":6,"ready":false},{"target":5,"type":5}]}]},
  {"driver":"dac960nt","buses":[{},{"devices":[
     {"target":3},{"target":6,"ready":false},{"target":5,"type":5},{"target":7}]}]},
  {"driver":"qzvscsi","buses":[{"devices":[{"target":3},{"target":6,"ready":false},{"target":5,"type":5}]}]},
  {"driver":"atapi","buses":[{"devices":[{"target":3,"physicalDrive":3},{"target":6,"ready":false}]}]}]})";

struct Family {
  std::uint32_t port;
  std::uint8_t bus;
  std::uint32_t absentResult;  // what a command to an empty address gives
};
const Family kFamilies[] = {{0, 0, 130}, {1, 0, 2}, {2, 0, 130}, {3, 1, 130}, {4, 0, 130}, {5, 0, 130}};

class FamilyTest : public ScsiTest {
 protected:
  void SetUp() override { Load(kMachine); }
  // Runs `check` on the opened adapter of every family.
  template <class Check>
  void ForEachFamily(Check check) {
    ASSERT_EQ(Adapters().BuildAdapterList(), 0u);
    for (const Family& f : kFamilies) {
      SCOPED_TRACE(testing::Message() << "port " << f.port);
      ScsiAdapter* adapter = Adapters().OpenAdapter(AdapterClassBase, f.port);
      ASSERT_NE(adapter, nullptr);
      check(*adapter, f);
    }
  }
};

TEST_F(FamilyTest, EveryFamilyCountsItsDisks) {
  std::uint32_t units = 0, adapters = 0;
  ASSERT_EQ(CountAdapterUnits(&units, &adapters), 0u);
  EXPECT_EQ(adapters, 6u);
  EXPECT_EQ(units, 4u + 3 + 2 + 3 + 2 + 2) << "the DAC960 adapter sees its target 7 too";
  EXPECT_EQ(Adapters().GetAdapter(3)->buses[1]->presentTargets, (1 << 3) | (1 << 6) | (1 << 7));
  EXPECT_EQ(Adapters().GetAdapter(0)->buses[1]->presentTargets, 1 << 2);
}

TEST_F(FamilyTest, EveryFamilyReadsAndWritesItsDisksAloneAndInATargetSession) {
  const std::uint8_t write10[10] = {0x2A, 0, 0, 0, 0, 9, 0, 0, 1, 0};
  const std::uint8_t read10[10] = {0x28, 0, 0, 0, 0, 9, 0, 0, 1, 0};
  ForEachFamily([&](ScsiAdapter& adapter, const Family& f) {
    ASSERT_EQ(adapter.ExecuteIn(f.bus, 3, cdb::Read6(5, 1)), 0u);
    const std::uint8_t* data = adapter.GetDataBuffer(0);
    EXPECT_EQ(LoadBe32(data), 5u) << "the simulated drive's pattern: block address first";
    EXPECT_EQ(data[100], 100 ^ 5);

    TargetSession session(adapter, f.bus, 3);
    ASSERT_EQ(session.result(), 0u);
    std::memset(adapter.GetDataBuffer(1), 0, 512);
    std::memcpy(adapter.GetDataBuffer(1), "written", 7);
    ASSERT_EQ(adapter.ExecuteOut(f.bus, 3, write10, 10), 0u);
    std::memset(adapter.GetDataBuffer(0), 0xEE, 512);
    ASSERT_EQ(adapter.ExecuteIn(f.bus, 3, read10, 10), 0u);
    EXPECT_EQ(std::memcmp(adapter.GetDataBuffer(0), "written\0", 8), 0);
  });
}

TEST_F(FamilyTest, EveryFamilyReportsNotReadySenseAndAnEmptyAddress) {
  ForEachFamily([&](ScsiAdapter& adapter, const Family& f) {
    ASSERT_EQ(adapter.ExecuteIn(f.bus, 6, cdb::TestUnitReady()), 2u);
    SenseView sense;
    ASSERT_EQ(adapter.GetSenseData(&sense), 1u);
    ASSERT_GE(sense.length, 14u);
    EXPECT_EQ(sense.bytes[0], 0x70);
    EXPECT_EQ(sense.bytes[2] & 0x0F, 2) << "NOT READY";
    EXPECT_EQ(sense.bytes[12], 0x04);
    EXPECT_EQ(sense.bytes[13], 0x02);
    EXPECT_EQ(adapter.ExecuteIn(f.bus, 9, cdb::TestUnitReady()), f.absentResult);
  });
}

TEST_F(FamilyTest, APortDeviceRefusesAClaimedDisk) {
  ASSERT_EQ(Adapters().BuildAdapterList(), 0u);
  ScsiAdapter* adapter = Adapters().OpenAdapter(AdapterClassScsiPort, 0);
  ASSERT_NE(adapter, nullptr);
  TargetSession session(*adapter, 0, 3);
  ASSERT_EQ(session.result(), 0u);
  EXPECT_EQ(Opened().back(), "\\\\.\\SCSI0:");
  EXPECT_EQ(adapter->ExecuteIn(0, 0, cdb::TestUnitReady()), 4u) << "disk 0 belongs to \\\\.\\PhysicalDrive0";
}

}  // namespace
}  // namespace lumbrel::test
