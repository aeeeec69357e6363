// The disk configuration report: one 108-byte record per drive found on
// every adapter of the list, with its address, identity texts, drive
// letters and RAID level.
#pragma once

#include <cstdint>

#include "drives/drive_identifier.h"
#include "drives/drive_letter_map.h"
#include "lumbrel.h"
#include "raid/raid_config_list.h"
#include "scsi/adapter_list.h"

namespace lumbrel {

// The record's text fields, as the caller sees them.
inline constexpr char kDiskDescription[] = "Unknown";
inline constexpr std::uint32_t kVendorNotDirectAccess = 255;
inline constexpr std::uint8_t kRaidLevelNoArray = 255;

struct DriveIdentityTexts {
  char* revisionCode = nullptr;  // 20 bytes
  std::uint32_t* vendorNumber = nullptr;
  char* description = nullptr;   // 9 bytes
  char* serialNumber = nullptr;  // 20 bytes; needs vendorNumber
  char* vendorProduct = nullptr;  // 30 bytes
};

// Identifies one drive and fills the outputs that are not null: 0 also for
// a drive that is not identified (its texts are still filled), or the
// INQUIRY's failure with nothing written.
std::uint32_t FillDriveIdentity(const DriveIdentifier& identifier, ScsiAdapter& adapter, std::uint32_t bus,
                                std::uint32_t target, const DriveIdentityTexts& out);

class DiskConfigReport {
 public:
  DiskConfigReport(AdapterList& adapters, RaidConfigList& raidConfigs, DriveLetterMap& letters,
                   const DriveIdentifier& identifier)
      : adapters_(adapters), raidConfigs_(raidConfigs), letters_(letters), identifier_(identifier) {}

  // Fills up to `capacity` records in adapter, bus, target order over the
  // adapter list as it stands (it is not built here); always 0.
  std::uint32_t GetAllDiskConfigInfo(DiskConfigRecord* records, std::uint32_t capacity);

 private:
  // One drive's record; false when the drive could not be identified.
  bool FillRecord(ScsiAdapter& adapter, std::uint32_t bus, std::uint32_t target, DiskConfigRecord& record);

  AdapterList& adapters_;
  RaidConfigList& raidConfigs_;
  DriveLetterMap& letters_;
  const DriveIdentifier& identifier_;
};

}  // namespace lumbrel
