// A RAID controller port whose replies are the fuzz input, the views built
// over it, and the lookups the rest of the library makes through them.
#pragma once

#include <cstdlib>
#include <memory>

#include "discovery/port_table.h"
#include "fuzz_support.h"
#include "raid/array_library.h"
#include "raid/container_record.h"
#include "raid/raid_config_list.h"
#include "scsi/adapter_list.h"
#include "scsi/address_cache.h"

namespace lumbrel::fuzz {

inline void CheckViews() {
  struct Objects {
    PortTable ports;
    ScsiAddressCache addressCache;
    AdapterList adapters{ports, addressCache};
    ArrayLibrary arrayLibrary;
    RaidConfigList views{ports, adapters, arrayLibrary};
  };
  {
    const auto objects = std::make_unique<Objects>();
    RaidConfigList& views = objects->views;
    views.BuildRaidConfigList();
    RaidConfig* config = nullptr;
    if (views.GetRaidConfig(0, &config) == 0 && config != nullptr) {
      if (config->logicalDriveCount > config->logicalDriveCapacity) std::abort();
      for (std::uint32_t i = 0; i < config->logicalDriveCount; ++i) {
        const DriveAddress* members = nullptr;
        std::uint32_t count = 0;
        if (config->GetMembers(i, &members, &count) == 0 && count > kMaxMembers) std::abort();
      }
      // The version texts are always terminated.
      if (config->biosVersion[RaidConfig::kVersionSize - 1] != 0) std::abort();
      if (config->firmwareVersion[RaidConfig::kVersionSize - 1] != 0) std::abort();
    }
    for (std::uint8_t target = 0; target < 8; ++target) {
      const DriveAddress address{target, 0, 0};
      std::uint32_t count = 0;
      DriveAddress members[kMaxMembers];
      views.ExpandLogicalDrive(address, &count, members);
      if (count > kMaxMembers) std::abort();
      std::uint32_t level = 0;
      views.FindRaidLevel(address, &level);
      std::uint32_t status = 0;
      views.FindArrayStatus(address, &status);
    }
  }
  CheckNothingLeft();
}

}  // namespace lumbrel::fuzz
