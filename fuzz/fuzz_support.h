// What the harnesses over simulated machines share: a machine of plain
// disks to put the input into, and the check that a run left nothing open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sim/machine_description.h"
#include "sim/simulator.h"

namespace lumbrel::fuzz {

using Bytes = std::vector<std::uint8_t>;

// The input cut at each 0x00 0xFF pair, so that one input can carry
// several replies.
inline std::vector<Bytes> Split(const std::uint8_t* data, std::size_t size) {
  std::vector<Bytes> parts(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (i + 1 < size && data[i] == 0x00 && data[i + 1] == 0xFF) {
      parts.emplace_back();
      ++i;
    } else {
      parts.back().push_back(data[i]);
    }
  }
  return parts;
}

// One port of `driver` with disks at bus 0, targets 0..disks-1, claimed as
// PhysicalDrive0.. .
inline sim::PortConfig DiskPort(const char* driver, std::uint32_t disks) {
  sim::PortConfig port;
  port.driver = driver;
  port.family = sim::FamilyOfDriver(driver);
  port.buses.emplace_back();
  for (std::uint32_t t = 0; t < disks; ++t) {
    sim::DeviceConfig disk;
    disk.target = t;
    disk.physicalDrive = t;
    port.buses[0].devices.push_back(disk);
  }
  return port;
}

// Builds and installs the machine; the trace stays off, for speed.
inline void Install(const sim::MachineConfig& config) { sim::InstallMachine(sim::BuildMachine(config)); }

// Every handle, registry key and block of library memory is given back.
inline void CheckNothingLeft() {
  sim::Machine& machine = sim::CurrentMachine();
  machine.WaitForThreads();
  if (machine.OpenHandleCount() != 0 || machine.OpenKeyCount() != 0 || machine.LiveAllocationCount() != 0) {
    std::abort();
  }
}

}  // namespace lumbrel::fuzz
