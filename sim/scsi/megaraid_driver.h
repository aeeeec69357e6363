// The AMI MegaRAID driver's IOCTL_SCSI_MINIPORT requests on the port device:
// mailbox command 3 runs a direct CDB on a drive behind the controller.
// Other mailbox commands (enquiry, configuration, ...) get their handlers
// next to it.
#pragma once

#include <cstdint>

#include "sim/device.h"
#include "sim/scsi/scsi_port.h"

namespace lumbrel::sim {

class Machine;

// 0 or the Windows error of the request; the command's own outcome is in
// the command status byte of the block.
std::uint32_t ServeMegaRaid(ControlRequest& request, ScsiPort& port, const Machine& machine);

}  // namespace lumbrel::sim
