// The Mylex DAC960 driver's IOCTL_SCSI_MINIPORT requests on the port device:
// command 0x04 runs a direct CDB on a drive behind the controller; the
// controller commands 0xA0 (the host hands the controller its number) and
// 0x3D (controller information) act on the controller itself.
#pragma once

#include <array>
#include <cstdint>

#include "sim/device.h"
#include "sim/scsi/scsi_port.h"

namespace lumbrel::sim {

class Machine;

// 0 or the Windows error of the request; the command's own outcome is in
// the controller status of the block.
std::uint32_t ServeDac960(ControlRequest& request, ScsiPort& port, const Machine& machine);

// The 64-byte block that command 0x3D returns.
std::array<std::uint8_t, 64> Dac960ControllerInfo(ScsiPort& port);

}  // namespace lumbrel::sim
