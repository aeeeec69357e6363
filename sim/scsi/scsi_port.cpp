#include "sim/scsi/scsi_port.h"

#include <stdexcept>

namespace lumbrel::sim {

ScsiPort::ScsiPort(std::uint32_t number, PortFamily family, bool present, std::uint32_t busCount, Faults& faults,
                   VirtualClock& clock)
    : number_(number), family_(family), present_(present), buses_(busCount), faults_(faults), clock_(clock) {}

ScsiDrive& ScsiPort::AddDrive(std::uint32_t bus, const DeviceConfig& config) {
  if (bus >= buses_.size() || config.target >= kTargets || buses_[bus][config.target] != nullptr) {
    throw std::invalid_argument("no free place for a drive at bus " + std::to_string(bus) + ", target " +
                                std::to_string(config.target) + " of port " + std::to_string(number_));
  }
  buses_[bus][config.target] = std::make_unique<ScsiDrive>(config, ScsiAddress{number_, bus, config.target}, clock_);
  return *buses_[bus][config.target];
}

ScsiDrive* ScsiPort::Drive(std::uint32_t bus, std::uint32_t target, std::uint32_t lun) const {
  if (bus >= buses_.size() || target >= kTargets || lun != 0) return nullptr;
  return buses_[bus][target].get();
}

std::vector<ScsiDrive*> ScsiPort::Drives() const {
  std::vector<ScsiDrive*> drives;
  for (const Bus& bus : buses_) {
    for (const auto& drive : bus) {
      if (drive != nullptr) drives.push_back(drive.get());
    }
  }
  return drives;
}

Delivery ScsiPort::Deliver(std::uint32_t bus, std::uint32_t target, std::uint32_t lun,
                           std::span<const std::uint8_t> cdb, DataPhase& data, bool autoSense) {
  Delivery delivery;
  ScsiDrive* drive = present_ ? Drive(bus, target, lun) : nullptr;
  if (drive == nullptr) return delivery;
  const std::uint64_t opcode = cdb.empty() ? 0 : cdb[0];
  const auto fault = faults_.Check("scsi", {{"port", std::uint64_t{number_}},
                                            {"bus", std::uint64_t{bus}},
                                            {"target", std::uint64_t{target}},
                                            {"opcode", opcode}});
  if (fault && *fault == kNoAnswer) {
    drive->log().CountUnanswered();
    delivery.reach = Delivery::Reach::Silent;
    return delivery;
  }
  delivery.reach = Delivery::Reach::Answered;
  if (fault) {
    // An injected status; CHECK CONDITION comes with "becoming ready".
    delivery.result = drive->Refuse(cdb, static_cast<std::uint8_t>(*fault), scsi::kBecomingReady);
  } else {
    delivery.result = drive->Execute(cdb, data);
    // A real device that did not complete the command is a target that did not answer.
    if (delivery.result.unanswered) delivery.reach = Delivery::Reach::Silent;
  }
  if (autoSense && delivery.reach == Delivery::Reach::Answered && delivery.result.status == scsi::kCheckCondition) {
    delivery.senseLength = drive->TakeSense(delivery.sense);
  }
  return delivery;
}

}  // namespace lumbrel::sim
