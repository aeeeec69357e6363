// The adapter list: one variant per port, adapter addressing by number and
// by class and ordinal, the unit count export and its failures, and the
// driver file version search (the adapter records: the adapters_families case).
#include "discovery/adapter_info_report.h"
#include "scsi/adapter_list.h"
#include "scsi/controller_adapter.h"
#include "scsi/port_device_adapter.h"
#include "scsi/scsi_fixture.h"

namespace lumbrel::test {
namespace {

const std::vector<std::string> kEveryClass = {"mraidnt", "aic78xx", "dac960nt", "mraid35x",
                                              "HHBA5100", "atapi", "qzvscsi", "mydrv"};

TEST_F(ScsiTest, ListHoldsTheVariantOfEachPortsClassInPortOrder) {
  LoadPorts(kEveryClass, 2);
  ASSERT_EQ(Adapters().BuildAdapterList(), 0u);
  ASSERT_EQ(Adapters().GetAdapterCount(), 8u);
  EXPECT_NE(dynamic_cast<MegaRaidAdapter*>(Adapters().GetAdapter(0)), nullptr);
  EXPECT_NE(dynamic_cast<ScsiPortAdapter*>(Adapters().GetAdapter(1)), nullptr);
  EXPECT_NE(dynamic_cast<Dac960Adapter*>(Adapters().GetAdapter(2)), nullptr);
  EXPECT_NE(dynamic_cast<MegaRaidAdapter*>(Adapters().GetAdapter(3)), nullptr);
  EXPECT_NE(dynamic_cast<Hhba5100Adapter*>(Adapters().GetAdapter(4)), nullptr);
  EXPECT_NE(dynamic_cast<ScsiPortAdapter*>(Adapters().GetAdapter(5)), nullptr);
  EXPECT_NE(dynamic_cast<QzvAdapter*>(Adapters().GetAdapter(6)), nullptr);
  EXPECT_NE(dynamic_cast<ScsiPortAdapter*>(Adapters().GetAdapter(7)), nullptr) << "an unknown driver is a SCSI port";
  for (std::uint32_t i = 0; i < 8; ++i) {
    EXPECT_EQ(Adapters().GetAdapter(i)->adapterNumber, i);
    EXPECT_EQ(Adapters().GetAdapter(i)->busCount, 2u);
  }
}

TEST_F(ScsiTest, FindAdapterIndexCountsOrdinalsWithinAClassOrTakesThePortNumber) {
  LoadPorts(kEveryClass);
  ASSERT_EQ(Adapters().BuildAdapterList(), 0u);
  struct Case {
    std::uint32_t classCode, ordinal;
    int index;  // -1: not found
  } cases[] = {{1, 0, 0}, {1, 1, 3}, {1, 2, -1}, {4, 2, 2}, {5, 7, 7}, {0, 6, 6},
               {0, 8, -1}, {6, 0, 6}, {3, 0, 4}, {2, 1, -1}, {7, 0, -1}};
  for (const Case& c : cases) {
    std::uint32_t index = 99;
    EXPECT_EQ(Adapters().FindAdapterIndex(c.classCode, c.ordinal, &index), c.index >= 0 ? 1u : 0u)
        << c.classCode << "/" << c.ordinal;
    EXPECT_EQ(index, c.index >= 0 ? static_cast<std::uint32_t>(c.index) : 99u) << c.classCode << "/" << c.ordinal;
  }
}

TEST_F(ScsiTest, ABuiltListIsNotBuiltAgainUntilFreed) {
  LoadPorts({"aic78xx"});
  ASSERT_EQ(Adapters().BuildAdapterList(), 0u);
  const std::size_t registryReads = Calls("RegOpenKeyExA").size();
  EXPECT_EQ(Adapters().BuildAdapterList(), 0u);
  EXPECT_EQ(Calls("RegOpenKeyExA").size(), registryReads);
  EXPECT_EQ(Adapters().FreeAdapterList(), 0u);
  EXPECT_EQ(Adapters().GetAdapterCount(), 0u);
  EXPECT_EQ(Adapters().GetAdapter(0), nullptr);
}

// A SCSI port with three disks and a CD-ROM, a MegaRAID controller with two
// disks, and a maker's controller whose device cannot be opened.
class UnitCountTest : public ScsiTest {
 protected:
  void SetUp() override {
    LoadPorts({"aic78xx", "mraidnt", "qzvscsi"}, 1,
              R"(,"faults":[{"call":"CreateFileA","name":"\\\\.\\QZV0","error":5}])");
    AddFakeDevice("SCSI0:")->answer = PassThroughDrives({{At(0, 0), 0}, {At(0, 1), 0}, {At(0, 2), 0}, {At(0, 3), 5}});
    AddFakeDevice("SCSI1:")->answer = MegaRaidDrives({{At(0, 0), 0}, {At(0, 4), 0}});
  }
};

TEST_F(UnitCountTest, CountsTheDisksOfTheAdaptersThatOpenAndEveryAdapter) {
  std::uint32_t units = 99, adapters = 99;
  ASSERT_EQ(CountAdapterUnits(&units, &adapters), 0u);
  EXPECT_EQ(units, 5u);
  EXPECT_EQ(adapters, 3u) << "the controller that cannot be opened is counted, its disks are not";
  EXPECT_EQ(machine().OpenHandleCount(), 1u) << "only the MegaRAID controller stays open";
  EXPECT_EQ(Adapters().CountUnitsOnAdapter(3), 0u) << "past the list";
  EXPECT_EQ(Adapters().OpenAdapter(AdapterClassQzv, 0), nullptr);
}

TEST_F(UnitCountTest, ASecondCountUsesTheBuiltList) {
  ASSERT_EQ(CountAdapterUnits(nullptr, nullptr), 0u);
  const std::size_t registryReads = Calls("RegOpenKeyExA").size();
  std::uint32_t units = 0, adapters = 0;
  ASSERT_EQ(CountAdapterUnits(&units, &adapters), 0u);
  EXPECT_EQ(units, 5u) << "the open controller is scanned again";
  EXPECT_EQ(adapters, 3u);
  EXPECT_EQ(Calls("RegOpenKeyExA").size(), registryReads);
}

TEST_F(ScsiTest, TheListHoldsOneAdapterPerPortOfThePortTable) {
  LoadPorts(std::vector<std::string>(12, "aic78xx"));
  std::uint32_t adapters = 0;
  ASSERT_EQ(CountAdapterUnits(nullptr, &adapters), 0u);
  EXPECT_EQ(adapters, 10u) << "the port table keeps ten ports";
}

TEST_F(ScsiTest, AFailedBuildLeavesNoListAndNoMemory) {
  Load("{}");
  std::uint32_t units = 99, adapters = 99;
  EXPECT_EQ(CountAdapterUnits(&units, &adapters), 2u) << "no SCSI port at all";
  EXPECT_EQ(units, 99u);
  EXPECT_EQ(adapters, 99u);

  LoadPorts({"aic78xx", "dac960nt"}, 1,
            R"(,"faults":[{"call":"allocate","size":)" + std::to_string(sizeof(Dac960Adapter)) + "}]");
  const std::int64_t before = machine().LiveAllocationCount();
  EXPECT_EQ(CountAdapterUnits(&units, &adapters), 8u);
  EXPECT_EQ(Adapters().GetAdapterCount(), 0u);
  EXPECT_EQ(machine().LiveAllocationCount(), before) << "the adapter built before the failure is gone";
  EXPECT_EQ(machine().OpenHandleCount(), 0u);
}

TEST_F(ScsiTest, FileVersionIsFoundOnlyAsUtf16) {
  // "FileVersion" in 8 bits, then in UTF-16 at an odd offset, a padding unit
  // and "5.2" running into the end of the file.
  Load(R"({"files":[
    {"path":"C:\\eight.sys","hex":"46696C6556657273696F6E00000031002E0030000000"},
    {"path":"C:\\wide.sys","hex":"AA460069006C006500560065007200730069006F006E00000000003500A9002E00"},
    {"path":"C:\\empty.sys","hex":""}]})");
  char version[32] = "x";
  EXPECT_EQ(ReadFileVersionString("C:\\eight.sys", "FileVersion", version, sizeof version), 0u);
  EXPECT_STREQ(version, "");
  EXPECT_EQ(ReadFileVersionString("C:\\wide.sys", "FileVersion", version, sizeof version), 0u);
  EXPECT_STREQ(version, "5\xA9.");
  EXPECT_EQ(ReadFileVersionString("C:\\wide.sys", "FileVersion", version, 3), 0u);
  EXPECT_STREQ(version, "5\xA9") << "cut to the room of the output";
  machine().faults().Add({"allocate", {{"size", std::uint64_t{33}}}, 0, 0, 1});
  EXPECT_EQ(ReadFileVersionString("C:\\wide.sys", "FileVersion", version, sizeof version), 0u);
  EXPECT_STREQ(version, "") << "no memory for the file: no version and no error";
  EXPECT_EQ(ReadFileVersionString("C:\\missing.sys", "FileVersion", version, sizeof version), 2u);
  EXPECT_STREQ(version, "");
  EXPECT_EQ(ReadFileVersionString("C:\\empty.sys", "FileVersion", version, sizeof version), 0u);
  EXPECT_EQ(machine().OpenHandleCount(), 0u);
  for (const auto& open : Calls("CreateFileA")) {
    EXPECT_EQ(open["share"], 3u) << "a driver image that an installer holds open for writing is still read";
  }
}

}  // namespace
}  // namespace lumbrel::test
