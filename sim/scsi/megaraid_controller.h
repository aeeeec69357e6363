// The AMI MegaRAID driver: IOCTL_SCSI_MINIPORT requests on the port device,
// of which mailbox command 3 runs a direct CDB on a drive behind the
// controller. Other mailbox commands (enquiry, configuration, ...) and the
// logical drives they describe belong here too.
#pragma once

#include <cstdint>

#include "sim/scsi/scsi_port_controller.h"

namespace lumbrel::sim {

class MegaRaidController : public ScsiPortController {
 public:
  using ScsiPortController::ScsiPortController;

  // 0 or the Windows error of the request; a command's own outcome is in
  // the command status byte of the block.
  std::uint32_t ServePortDevice(ControlRequest& request) override;

 private:
  std::uint32_t DirectCdb(ControlRequest& request, DriverTrace& trace);
};

}  // namespace lumbrel::sim
