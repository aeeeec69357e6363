// One simulated disk at port 0, bus 0, target 0, and an adapter open to it.
#pragma once

#include <cstdlib>
#include <memory>

#include "discovery/port_table.h"
#include "drives/drive_identifier.h"
#include "fuzz_support.h"
#include "scsi/adapter_list.h"
#include "scsi/address_cache.h"

namespace lumbrel::fuzz {

// Seagate's revision code: its identity leaves log page support to the drive.
inline sim::DeviceConfig SeagateDisk() {
  sim::DeviceConfig disk;
  disk.vendor = "SEAGATE";
  disk.product = "ST39102LW";
  disk.revision = "0340";
  return disk;
}

// Installs a machine with `disk` at target 0 and runs `use` on its adapter.
template <typename Use>
void WithDrive(const sim::DeviceConfig& disk, Use use) {
  sim::MachineConfig config;
  config.ports.push_back(DiskPort("aic78xx", 0));
  config.ports[0].buses[0].devices.push_back(disk);
  Install(config);
  struct Objects {
    PortTable ports;
    ScsiAddressCache addressCache;
    AdapterList adapters{ports, addressCache};
  };
  {
    const auto objects = std::make_unique<Objects>();
    if (objects->adapters.BuildAdapterList() == 0 && objects->adapters.GetAdapterCount() > 0) {
      ScsiAdapter& adapter = *objects->adapters.GetAdapter(0);
      if (adapter.Open() == 0) {
        use(adapter);
        adapter.Close();
      }
    }
  }
  CheckNothingLeft();
}

}  // namespace lumbrel::fuzz
