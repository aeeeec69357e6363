// Port discovery through the real registry: SCSI port keys and service keys
// written before LUMBREL.dll loads, driver images with real version
// resources in the Windows directory.
#include <cstring>
#include <string>

#include "check.h"
#include "scsi_ports.h"
#include "session.h"

namespace {

using wine_tests::AddScsiPort;
using wine_tests::AddService;
using wine_tests::Library;
using wine_tests::PlaceDriverImage;
using wine_tests::RemoveScsiPorts;

std::string Text(const char* field, std::size_t size) { return std::string(field, strnlen(field, size)); }

void ExpectRecord(const AdapterInfoRecord& record, std::uint32_t number, std::uint32_t classCode, const char* vendor,
                  const char* driver, const char* version) {
  EXPECT_EQ(record.adapterNumber, number);
  EXPECT_EQ(record.classCode, classCode);
  EXPECT_EQ(Text(record.vendorName, sizeof record.vendorName), std::string(vendor));
  EXPECT_EQ(Text(record.driverName, sizeof record.driverName), std::string(driver));
  EXPECT_EQ(Text(record.driverVersion, sizeof record.driverVersion), std::string(version));
}

}  // namespace

WINE_TEST(discovery, ports_drivers_and_file_versions) {
  REQUIRE_TRUE(!wine_tests::IsLoaded("LUMBREL.dll"));
  RemoveScsiPorts();
  REQUIRE_TRUE(AddScsiPort(0, "aic78xx", 2) && AddScsiPort(1, "qzvscsi", 1) && AddScsiPort(2, "lumbrelx", 1));
  REQUIRE_TRUE(AddService("aic78xx", "System32\\drivers\\aic78xx.sys"));
  REQUIRE_TRUE(AddService("qzvscsi", nullptr));  // the default image path
  REQUIRE_TRUE(AddService("lumbrelx", "\\SystemRoot\\System32\\drivers\\lumbrelx.sys"));  // no such file
  REQUIRE_TRUE(PlaceDriverImage("aic78xx") && PlaceDriverImage("qzvscsi"));

  Library lumbrel;
  REQUIRE_TRUE(lumbrel->CountAdapterUnits && lumbrel->GetAllAdapterInfo);
  std::uint32_t units = 77;
  std::uint32_t adapters = 77;
  EXPECT_EQ(lumbrel->CountAdapterUnits(&units, &adapters), 0u);
  EXPECT_EQ(adapters, 3u);
  EXPECT_EQ(units, 0u);  // no SCSI device answers under Wine
  EXPECT_EQ(lumbrel->CountAdapterUnits(nullptr, nullptr), 0u);

  AdapterInfoRecord records[4];
  std::memset(records, 0xEE, sizeof records);
  EXPECT_EQ(lumbrel->GetAllAdapterInfo(records), 0u);
  ExpectRecord(records[0], 0, LUMBREL_CLASS_SCSIPORT, "Adaptec", "aic78xx", "6.0.1.0");
  ExpectRecord(records[1], 1, LUMBREL_CLASS_QZV, "Adaptec", "qzvscsi", "2.1-3 REL");
  ExpectRecord(records[2], 2, LUMBREL_CLASS_SCSIPORT, "???", "lumbrelx", "");
  EXPECT_EQ(records[3].adapterNumber, 0xEEEEEEEEu);
  EXPECT_EQ(lumbrel->GetAllAdapterInfo(nullptr), 0u);

  // The ports are read at load: without them a new load finds none.
  lumbrel.Unload();
  RemoveScsiPorts();
  REQUIRE_TRUE(lumbrel.Load());
  EXPECT_EQ(lumbrel->CountAdapterUnits(&units, &adapters), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(lumbrel->GetAllAdapterInfo(records), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
}
