// How far a drive has come into service, as a level from 0 to 5: it
// answers INQUIRY, reports ready, can be read, carries a drive letter, and a
// test file can be created and removed (or an existing one read) on its
// volume. The tests run in that order and stop at the first that fails.
#pragma once

#include <cstdint>

#include "drives/drive_letter_map.h"
#include "raid/raid_config_list.h"
#include "scsi/adapter_list.h"

namespace lumbrel {

class DriveReadiness {
 public:
  static constexpr std::uint32_t kTestFileSize = 512;

  DriveReadiness(AdapterList& adapters, RaidConfigList& raidConfigs, DriveLetterMap& letters)
      : adapters_(adapters), raidConfigs_(raidConfigs), letters_(letters) {}

  // The level reached is stored through `readiness` (may be null) in every
  // case, failures included; the result is 0 or the failing test's.
  std::uint32_t GetDriveReadiness(std::uint32_t classCode, std::uint32_t ordinal, std::uint32_t bus,
                                  std::uint32_t target, std::uint32_t* readiness);
  // The file test on the lowest letter of a nonzero mask: 0 or a Windows error.
  std::uint32_t RunFileTest(std::uint32_t letterMask);

 private:
  AdapterList& adapters_;
  RaidConfigList& raidConfigs_;
  DriveLetterMap& letters_;
  char testFilePath_[16] = "A:\\$QZTest.dat";  // the first character becomes the letter under test
  std::uint8_t testData_[kTestFileSize] = {};
};

}  // namespace lumbrel
