// The disk configuration report, RAID level, drive letters and readiness
// through the shipping DLL, on a registry with one SCSI port and no SCSI
// device behind it (Wine has none): every export must answer the inputs a
// management application may give, and none may crash.
#include <cstring>

#include "check.h"
#include "scsi_ports.h"
#include "session.h"

namespace {

using wine_tests::Library;

constexpr std::uint32_t kNoRaidLevel = 65535;
constexpr std::uint32_t kNotSupported = 1200;
constexpr std::uint32_t kAllLetters = (1u << 26) - 1;  // A: to Z:

// One port, read by the DLL when it loads: the library is loaded after this.
bool OnePort() {
  wine_tests::RemoveScsiPorts();
  return wine_tests::AddScsiPort(0, "aic78xx", 1);
}

bool AllBytesAre(const void* data, std::size_t size, unsigned char value) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) {
    if (bytes[i] != value) return false;
  }
  return true;
}

}  // namespace

WINE_TEST(reports, disk_config_with_capacity_0_writes_nothing) {
  REQUIRE_TRUE(OnePort());
  Library lumbrel;
  REQUIRE_TRUE(lumbrel->GetAllDiskConfigInfo != nullptr);
  DiskConfigRecord record;
  std::memset(&record, 0xEE, sizeof record);
  EXPECT_EQ(lumbrel->GetAllDiskConfigInfo(&record, 0), 0u);
  EXPECT_TRUE(AllBytesAre(&record, sizeof record, 0xEE));
  EXPECT_EQ(lumbrel->GetAllDiskConfigInfo(nullptr, 0), 0u);
}

WINE_TEST(reports, disk_config_before_the_adapter_list_is_built_is_all_zero) {
  REQUIRE_TRUE(OnePort());
  Library lumbrel;
  REQUIRE_TRUE(lumbrel->GetAllDiskConfigInfo != nullptr);
  DiskConfigRecord records[3];
  std::memset(records, 0xEE, sizeof records);
  EXPECT_EQ(lumbrel->GetAllDiskConfigInfo(records, 3), 0u);
  EXPECT_TRUE(AllBytesAre(records, sizeof records, 0));
}

WINE_TEST(reports, disk_config_after_counting_units_finds_no_drive_without_devices) {
  REQUIRE_TRUE(OnePort());
  Library lumbrel;
  REQUIRE_TRUE(lumbrel->CountAdapterUnits && lumbrel->GetAllDiskConfigInfo);
  std::uint32_t units = 77;
  std::uint32_t adapters = 77;
  EXPECT_EQ(lumbrel->CountAdapterUnits(&units, &adapters), 0u);
  EXPECT_EQ(adapters, 1u);
  DiskConfigRecord records[2];
  std::memset(records, 0xEE, sizeof records);
  EXPECT_EQ(lumbrel->GetAllDiskConfigInfo(records, 2), 0u);
  EXPECT_TRUE(AllBytesAre(records, sizeof records, 0));
}

WINE_TEST(reports, raid_level_of_a_port_beyond_the_last_is_not_supported) {
  REQUIRE_TRUE(OnePort());
  Library lumbrel;
  REQUIRE_TRUE(lumbrel->GetRaidLevel != nullptr);
  std::uint32_t level = 77;
  EXPECT_EQ(lumbrel->GetRaidLevel(5, 0, 0, &level), kNotSupported);
  EXPECT_EQ(level, kNoRaidLevel);
  level = 77;
  EXPECT_EQ(lumbrel->GetRaidLevel(0x105, 0, 0, &level), kNotSupported);  // only the low byte names the port
  EXPECT_EQ(level, kNoRaidLevel);
}

WINE_TEST(reports, drive_letters_are_a_mask_of_letters_a_to_z) {
  REQUIRE_TRUE(OnePort());
  Library lumbrel;
  REQUIRE_TRUE(lumbrel->GetAllDriveLetters != nullptr);
  // Whatever volumes Wine shows, none lies on a SCSI drive of ours; the
  // mask may still only name letters.
  EXPECT_EQ(lumbrel->GetAllDriveLetters(0, 0, 3) & ~kAllLetters, 0u);
  EXPECT_EQ(lumbrel->GetAllDriveLetters(255, 255, 255) & ~kAllLetters, 0u);
}

WINE_TEST(reports, readiness_of_no_adapter_is_not_supported_at_level_0) {
  REQUIRE_TRUE(OnePort());
  Library lumbrel;
  REQUIRE_TRUE(lumbrel->GetDriveReadiness != nullptr);
  std::uint32_t readiness = 77;
  EXPECT_EQ(lumbrel->GetDriveReadiness(LUMBREL_CLASS_SCSIPORT, 9, 0, 3, &readiness), kNotSupported);
  EXPECT_EQ(readiness, 0u);
  readiness = 77;
  EXPECT_EQ(lumbrel->GetDriveReadiness(LUMBREL_CLASS_QZV, 0, 0, 3, &readiness), kNotSupported);
  EXPECT_EQ(readiness, 0u);
}

WINE_TEST(reports, readiness_takes_a_null_level_pointer) {
  REQUIRE_TRUE(OnePort());
  Library lumbrel;
  REQUIRE_TRUE(lumbrel->GetDriveReadiness != nullptr);
  EXPECT_EQ(lumbrel->GetDriveReadiness(LUMBREL_CLASS_SCSIPORT, 9, 0, 3, nullptr), kNotSupported);
  // An adapter that exists but has no drive answering: a failure, no crash.
  EXPECT_TRUE(lumbrel->GetDriveReadiness(LUMBREL_CLASS_SCSIPORT, 0, 0, 3, nullptr) != 0u);
}
