// One SCSI port of the simulated server: its driver family, its buses and
// the devices on them. The family's controller (scsi_port_controller.h)
// hands every command to Deliver, which selects the target and lets
// injected faults act.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "sim/faults.h"
#include "sim/scsi/logical_drive_config.h"
#include "sim/scsi/port_family.h"
#include "sim/scsi/scsi_drive.h"
#include "sim/virtual_clock.h"

namespace lumbrel::sim {

// How a command ended at the target.
struct Delivery {
  enum class Reach {
    Absent,    // no device at the address
    Silent,    // a device is there but does not answer selection
    Answered,  // the device ran or refused the command
  };
  Reach reach = Reach::Absent;
  CommandResult result;
  // Automatic request sense: the sense data of a CHECK CONDITION.
  std::array<std::uint8_t, scsi::Sense::kLength> sense{};
  std::uint32_t senseLength = 0;
};

class ScsiPort {
 public:
  static constexpr std::uint32_t kTargets = 16;
  // The fault code that makes a target stop answering.
  static constexpr std::uint32_t kNoAnswer = 130;

  ScsiPort(std::uint32_t number, PortFamily family, bool present, std::uint32_t busCount, Faults& faults,
           VirtualClock& clock);

  std::uint32_t number() const { return number_; }
  PortFamily family() const { return family_; }
  // false: the driver is not loaded; the port's devices do not exist.
  bool present() const { return present_; }
  // The logical drives that a MegaRAID or HHBA5100 controller reports, as
  // the machine file gives them or a timed change replaced them: the
  // controller's configuration reply and what an operator sees.
  const std::vector<LogicalDriveConfig>& logicalDrives() const { return logicalDrives_; }
  void SetLogicalDrives(std::vector<LogicalDriveConfig> drives) { logicalDrives_ = std::move(drives); }
  std::uint32_t busCount() const { return static_cast<std::uint32_t>(buses_.size()); }

  ScsiDrive& AddDrive(std::uint32_t bus, const DeviceConfig& config);
  // The device at (bus, target, LUN); null when there is none.
  ScsiDrive* Drive(std::uint32_t bus, std::uint32_t target, std::uint32_t lun = 0) const;
  std::vector<ScsiDrive*> Drives() const;

  // Sends one command to (bus, target, LUN). With `autoSense`, the sense
  // data of a CHECK CONDITION is fetched into the delivery at once.
  Delivery Deliver(std::uint32_t bus, std::uint32_t target, std::uint32_t lun, std::span<const std::uint8_t> cdb,
                   DataPhase& data, bool autoSense);

 private:
  using Bus = std::array<std::unique_ptr<ScsiDrive>, kTargets>;
  std::uint32_t number_;
  PortFamily family_;
  bool present_;
  std::vector<LogicalDriveConfig> logicalDrives_;
  std::vector<Bus> buses_;
  Faults& faults_;
  VirtualClock& clock_;
};

}  // namespace lumbrel::sim
