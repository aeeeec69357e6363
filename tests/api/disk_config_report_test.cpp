// The disk configuration report through its export, where the CLI cannot
// look: before the adapter list exists, past the caller's capacity, and on
// an adapter that is closed. The records' fields are the disks_* acceptance
// cases.
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
  EXPECT_EQ(Report(0)[0].adapterNumber, 0xEEEEEEEEu);
}

TEST_F(DiskConfigReportTest, OpensAClosedAdapterForTheReportAndClosesItAgain) {
  Load(R"({"ports":[
    {"driver":"mraidnt","buses":[{"devices":[{"target":2,"vendor":"SEAGATE","revision":"0340"}]}]},
    {"driver":"mraidnt","buses":[{"devices":[{"target":4,"vendor":"SEAGATE","revision":"0340"}]}]}]})");
  std::uint32_t level = 0;
  ASSERT_EQ(GetRaidLevel(1, 0, 4, &level), 0u) << "builds the adapter list and opens adapter 1 alone";
  ASSERT_EQ(machine().OpenHandleCount(), 1u);
  const auto records = Report(3);
  EXPECT_EQ(records[0].adapterNumber, 0u);
  EXPECT_EQ(records[0].target, 2u) << "adapter 0 is opened, and so scanned, for the report";
  EXPECT_EQ(records[1].adapterNumber, 1u);
  EXPECT_EQ(records[1].target, 4u);
  EXPECT_EQ(machine().OpenHandleCount(), 1u) << "adapter 0 is closed again; adapter 1 stays open";
}

}  // namespace
}  // namespace lumbrel::test
