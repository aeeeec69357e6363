// The devices that Windows' class drivers create for the units they claim:
// "\\.\PhysicalDriveN" (disk), "\\.\ScannerN", "\\.\CdRomN". Each answers
// IOCTL_SCSI_GET_ADDRESS with its unit's address and forwards pass-through
// requests to its port's controller, addressed to its own unit whatever
// PathId, TargetId and Lun the caller wrote.
#pragma once

#include <memory>

#include "sim/device.h"
#include "sim/scsi/scsi_port_controller.h"

namespace lumbrel::sim {

class ClassDevice : public Device {
 public:
  ClassDevice(std::shared_ptr<ScsiPortController> controller, const ScsiDrive& drive)
      : controller_(std::move(controller)), drive_(drive) {}
  std::uint32_t Control(ControlRequest& request) override;

 private:
  std::shared_ptr<ScsiPortController> controller_;
  const ScsiDrive& drive_;
};

}  // namespace lumbrel::sim
