#include "sim/scsi/scsi_world.h"

namespace lumbrel::sim {

std::shared_ptr<ScsiPort> ScsiWorld::AddPort(std::uint32_t number, PortFamily family, bool present,
                                             std::uint32_t busCount) {
  ports_.push_back(std::make_shared<ScsiPort>(number, family, present, busCount, faults_, clock_));
  return ports_.back();
}

ScsiPort* ScsiWorld::Port(std::uint32_t number) const {
  for (const auto& port : ports_) {
    if (port->number() == number) return port.get();
  }
  return nullptr;
}

ScsiDrive* ScsiWorld::Drive(std::uint32_t port, std::uint32_t bus, std::uint32_t target) const {
  const ScsiPort* found = Port(port);
  return found == nullptr ? nullptr : found->Drive(bus, target);
}

std::vector<DriveView> ScsiWorld::Views() const {
  std::vector<DriveView> views;
  for (const auto& port : ports_) {
    for (const ScsiDrive* drive : port->Drives()) views.push_back(drive->View());
  }
  return views;
}

}  // namespace lumbrel::sim
