#include "sim/scsi/logical_unit_device.h"

#include <cstring>

#include "sim/scsi/driver_errors.h"
#include "sim/scsi/driver_trace.h"
#include "sim/scsi/request_layouts.h"

namespace lumbrel::sim {

std::uint32_t LogicalUnitDevice::Control(ControlRequest& request) {
  DriverTrace trace(request.trace);
  if (request.ioctl != layout::kIoctlScsiGetAddress) {
    return trace.Reject(driver_error::kInvalidFunction, "the logical drive's class device serves SCSI_ADDRESS only");
  }
  namespace address = layout::scsi_address;
  if (request.outputLength < address::kSize) {
    return trace.Reject(driver_error::kInsufficientBuffer, "output shorter than SCSI_ADDRESS");
  }
  std::memset(request.buffer, 0, address::kSize);
  layout::Store(request.buffer, address::kLength, address::kSize);
  layout::Store(request.buffer, address::kPortNumber, address_.port);
  layout::Store(request.buffer, address::kPathId, address_.bus);
  layout::Store(request.buffer, address::kTargetId, address_.target);
  request.bytesReturned = address::kSize;
  return 0;
}

}  // namespace lumbrel::sim
