// The SCSI side of the simulated server: every port with its buses and
// devices, as the device namespace and the tests see them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sim/scsi/scsi_port.h"

namespace lumbrel::sim {

class ScsiWorld {
 public:
  // The ports' commands meet the machine's fault rules; its drives see its clock.
  ScsiWorld(Faults& faults, VirtualClock& clock) : faults_(faults), clock_(clock) {}
  ScsiWorld(const ScsiWorld&) = delete;
  ScsiWorld& operator=(const ScsiWorld&) = delete;

  std::shared_ptr<ScsiPort> AddPort(std::uint32_t number, PortFamily family, bool present, std::uint32_t busCount);
  // The port numbered `number` ("Scsi Port N"); null when there is none.
  ScsiPort* Port(std::uint32_t number) const;
  // In port number order.
  const std::vector<std::shared_ptr<ScsiPort>>& ports() const { return ports_; }
  // The device at an address; null when there is none.
  ScsiDrive* Drive(std::uint32_t port, std::uint32_t bus, std::uint32_t target) const;
  // What an operator sees of every drive, by port, bus and target (see
  // ScsiDrive::View; hold the machine's mutex while jobs may run).
  std::vector<DriveView> Views() const;

 private:
  Faults& faults_;
  VirtualClock& clock_;
  std::vector<std::shared_ptr<ScsiPort>> ports_;
};

}  // namespace lumbrel::sim
