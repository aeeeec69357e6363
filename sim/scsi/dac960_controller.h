// The Mylex DAC960 driver: IOCTL_SCSI_MINIPORT requests on the port device.
// Command 0x04 runs a direct CDB on a drive behind the controller; the
// controller commands 0xA0 (the host hands the controller its number) and
// 0x3D (controller information) act on the controller itself, whose state
// this object keeps. Further controller commands (the configuration, the
// logical drives) belong here too.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim/scsi/scsi_port_controller.h"

namespace lumbrel::sim {

class Dac960Controller : public ScsiPortController {
 public:
  using ScsiPortController::ScsiPortController;

  // 0 or the Windows error of the request; a command's own outcome is in
  // the controller status of the block.
  std::uint32_t ServePortDevice(ControlRequest& request) override;

 private:
  std::uint32_t DirectCdb(ControlRequest& request, DriverTrace& trace);
  std::uint32_t ControllerCommand(ControlRequest& request, DriverTrace& trace);
  // The 64-byte block that command 0x3D returns.
  std::array<std::uint8_t, 64> ControllerInfo() const;

  // The block that the host sent with command 0xA0 (byte 0: the number
  // that the host gave the controller); empty before that.
  std::vector<std::uint8_t> hostBlock_;
};

}  // namespace lumbrel::sim
