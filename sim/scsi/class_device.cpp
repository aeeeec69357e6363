#include "sim/scsi/class_device.h"

#include <cstring>

#include "sim/scsi/driver_errors.h"
#include "sim/scsi/driver_trace.h"
#include "sim/scsi/request_layouts.h"

namespace lumbrel::sim {

std::uint32_t ClassDevice::Control(ControlRequest& request) {
  DriverTrace trace(request.trace);
  switch (request.ioctl) {
    case layout::kIoctlScsiGetAddress: {
      namespace address = layout::scsi_address;
      if (request.outputLength < address::kSize) {
        return trace.Reject(driver_error::kInsufficientBuffer, "output shorter than SCSI_ADDRESS");
      }
      std::memset(request.buffer, 0, address::kSize);
      layout::Store(request.buffer, address::kLength, address::kSize);
      layout::Store(request.buffer, address::kPortNumber, drive_.address().port);
      layout::Store(request.buffer, address::kPathId, drive_.address().bus);
      layout::Store(request.buffer, address::kTargetId, drive_.address().target);
      layout::Store(request.buffer, address::kLun, 0);
      request.bytesReturned = address::kSize;
      return 0;
    }
    case layout::kIoctlScsiPassThrough: return controller_->ServeClassRequest(request, drive_);
    default: return trace.Reject(driver_error::kInvalidFunction, "the class device does not serve this code");
  }
}

}  // namespace lumbrel::sim
