#include "sim/scsi/port_device.h"

#include "sim/scsi/dac960_driver.h"
#include "sim/scsi/driver_errors.h"
#include "sim/scsi/driver_trace.h"
#include "sim/scsi/megaraid_driver.h"
#include "sim/scsi/pass_through.h"
#include "sim/scsi/request_layouts.h"

namespace lumbrel::sim {

std::uint32_t PortDevice::Control(ControlRequest& request) {
  switch (request.ioctl) {
    case layout::kIoctlScsiPassThrough: return ServePassThrough(request, *port_, nullptr);
    case layout::kIoctlScsiMiniport:
      if (port_->family() == PortFamily::MegaRaid) return ServeMegaRaid(request, *port_, machine_);
      if (port_->family() == PortFamily::Dac960) return ServeDac960(request, *port_, machine_);
      break;
    default: break;
  }
  return DriverTrace(request.trace).Reject(driver_error::kInvalidFunction, "the port device does not serve this code");
}

}  // namespace lumbrel::sim
