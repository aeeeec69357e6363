// The disk configuration report through its export: which drives get a
// record, in what order, and what each field holds.
#include <algorithm>
#include <cstring>
#include <vector>

#include "lumbrel.h"
#include "support/module_fixture.h"

namespace lumbrel::test {
namespace {

using DiskConfigReportTest = ModuleTest;

constexpr const char* kTwoPorts = R"({"ports":[
  {"driver":"aic78xx","buses":[{"devices":[
    {"target":3,"vendor":"IBM","product":"DDRS-34560D","revision":"S80J","serial":"AB12CD34EF56GH78IJ90KL12",
     "physicalDrive":0},
    {"target":5,"vendor":"SEAGATE","product":"ST34371W","revision":"0430","serial":"SN00000001XXXXXXXXXXXXXX",
     "physicalDrive":1}]}]},
  {"driver":"aic78xx","buses":[{"devices":[{"target":1,"vendor":"QUANTUM","product":"ATLAS","revision":"LXY4",
     "physicalDrive":2}]}]}]})";

std::vector<DiskConfigRecord> Report(std::uint32_t capacity) {
  std::vector<DiskConfigRecord> records(capacity + 1);
  std::memset(records.data(), 0xEE, records.size() * sizeof(DiskConfigRecord));
  EXPECT_EQ(GetAllDiskConfigInfo(records.data(), capacity), 0u);
  return records;
}

bool IsZero(const DiskConfigRecord& record) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
  return std::all_of(bytes, bytes + sizeof record, [](unsigned char b) { return b == 0; });
}

TEST_F(DiskConfigReportTest, CapacityZeroWritesNothing) {
  Load(kTwoPorts);
  ASSERT_EQ(CountAdapterUnits(nullptr, nullptr), 0u);
  const auto records = Report(0);
  EXPECT_EQ(records[0].adapterNumber, 0xEEEEEEEEu);
}

TEST_F(DiskConfigReportTest, ReportsNothingBeforeTheAdapterListIsBuilt) {
  Load(kTwoPorts);
  const auto records = Report(4);
  for (std::uint32_t i = 0; i < 4; ++i) EXPECT_TRUE(IsZero(records[i])) << "record " << i;
  EXPECT_TRUE(Calls("DeviceIoControl").empty());
}

TEST_F(DiskConfigReportTest, FillsRecordsInAdapterBusTargetOrderUpToTheCapacity) {
  Load(kTwoPorts);
  ASSERT_EQ(CountAdapterUnits(nullptr, nullptr), 0u);
  auto records = Report(4);
  EXPECT_EQ(records[0].target, 3u);
  EXPECT_EQ(records[1].target, 5u);
  EXPECT_EQ(records[2].adapterNumber, 1u);
  EXPECT_EQ(records[2].target, 1u);
  EXPECT_TRUE(IsZero(records[3])) << "the record after the last one filled is zero";

  records = Report(2);
  EXPECT_EQ(records[1].target, 5u);
  EXPECT_EQ(records[2].adapterNumber, 0xEEEEEEEEu) << "nothing is written past the capacity";
}

TEST_F(DiskConfigReportTest, RecordCarriesTheDrivesIdentity) {
  Load(kTwoPorts);
  ASSERT_EQ(CountAdapterUnits(nullptr, nullptr), 0u);
  const auto records = Report(3);
  const DiskConfigRecord& ibm = records[0];
  EXPECT_STREQ(ibm.revisionCode, "S80J");
  EXPECT_EQ(ibm.vendorNumber, 3u);
  EXPECT_STREQ(ibm.description, "Unknown");
  EXPECT_STREQ(ibm.serialNumber, "AB12CD34EF") << "an IBM drive's serial is 10 bytes from byte 36";
  EXPECT_EQ(std::string(ibm.vendorProduct, 24), std::string("IBM     DDRS-34560D     "));
  EXPECT_EQ(ibm.vendorProduct[24], '\0');
  EXPECT_EQ(std::uint32_t{ibm.driveLetters}, 0u);  // a copy: the packed field is not aligned
  EXPECT_EQ(ibm.raidLevel, 255u) << "a drive in no array";
  for (unsigned char byte : ibm.reserved) EXPECT_EQ(byte, 0u);
  EXPECT_EQ(ibm.revisionCode[5], '\0') << "the rest of a text field is zero";

  EXPECT_STREQ(records[1].serialNumber, "SN000000") << "a Seagate drive's serial is 8 bytes";
  EXPECT_EQ(records[2].vendorNumber, 1u);
  EXPECT_EQ(std::strlen(records[2].serialNumber), 0u) << "12 bytes from byte 44, which this drive leaves zero";
}

TEST_F(DiskConfigReportTest, DriveThatCannotBeIdentifiedGivesItsPlaceToTheNext) {
  Load(kTwoPorts);
  ASSERT_EQ(CountAdapterUnits(nullptr, nullptr), 0u);
  machine().faults().Add({"scsi", {{"port", 0u}, {"target", 3u}}, 130, 0, {}});
  const auto records = Report(3);
  EXPECT_EQ(records[0].target, 5u);
  EXPECT_EQ(records[1].adapterNumber, 1u);
  EXPECT_TRUE(IsZero(records[2]));
}

}  // namespace
}  // namespace lumbrel::test
