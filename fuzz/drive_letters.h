// The drive-letter map's rebuild over a machine that a harness describes,
// and the checks of what it entered.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "drives/drive_letter_map.h"
#include "fuzz_support.h"
#include "sim/volume_device.h"

namespace lumbrel::fuzz {

// Every address stands for itself, except target 3, a logical drive of
// targets 1 and 2: letters on it go to both.
struct OneArray : MemberExpansion {
  virtual ~OneArray() = default;
  std::uint32_t ExpandLogicalDrive(DriveAddress address, std::uint32_t* count, DriveAddress* members) override {
    if (address == DriveAddress{3, 0, 0}) {
      members[0] = DriveAddress{1, 0, 0};
      members[1] = DriveAddress{2, 0, 0};
      *count = 2;
    } else {
      members[0] = address;
      *count = 1;
    }
    return 0;
  }
};

// Four disks on port 0 and the volumes and disk record given; built once
// per process, since each run changes only the replies (building a machine
// costs far more than the rebuild it serves).
inline void InstallOnce(const std::vector<sim::VolumeConfig>& volumes, bool diskInformation) {
  static const bool installed = [&] {
    sim::MachineConfig config;
    config.ports.push_back(DiskPort("aic78xx", 4));
    config.volumes = volumes;
    if (!diskInformation) config.diskInformation.source = sim::DiskInformationConfig::Source::None;
    Install(config);
    return true;
  }();
  (void)installed;
}

// Gives volume `letter` a new device that answers as `volume` says.
inline void ReplaceVolume(const sim::VolumeConfig& volume) {
  sim::CurrentMachine().AddDevice(std::string(1, volume.letter) + ":", std::make_shared<sim::VolumeDevice>(volume));
}

// Rebuilds the map, asks it for every address it holds, and checks that
// it stayed within its capacity and entered only letters.
inline void RebuildAndCheck() {
  OneArray expansion;
  DriveLetterMap map(expansion);
  map.Rebuild();
  if (map.EntryCount() > DriveLetterMap::kCapacity) std::abort();
  for (std::uint32_t i = 0; i < map.EntryCount(); ++i) {
    const DriveLetterMap::Entry& entry = map.EntryAt(i);
    if (entry.letter < 'A') std::abort();
    if (map.GetDriveLetterMask(entry.address) == 0) std::abort();
  }
  CheckNothingLeft();
}

}  // namespace lumbrel::fuzz
