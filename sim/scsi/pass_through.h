// IOCTL_SCSI_PASS_THROUGH as the Windows port driver serves it, on the port
// device "\\.\SCSIn:" and, forwarded by the class driver, on the class
// devices ("\\.\PhysicalDriveN", ...).
#pragma once

#include <cstdint>

#include "sim/device.h"
#include "sim/scsi/scsi_port.h"

namespace lumbrel::sim {

// Serves one request on `port`. `owner` is the device of the class driver
// that forwards the request, which puts its own address into PathId,
// TargetId and Lun; null for the port device, which refuses addresses that
// hold no unit or a unit that a class driver has claimed. Returns 0 or the
// Windows error of the request.
std::uint32_t ServePassThrough(ControlRequest& request, ScsiPort& port, const ScsiDrive* owner);

}  // namespace lumbrel::sim
