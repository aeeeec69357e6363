// "\\.\PhysicalDriveN" of a logical drive that Windows' disk class driver
// claimed behind an array controller: it answers IOCTL_SCSI_GET_ADDRESS
// with the host address under which the controller presents the logical
// drive (bus 0 and the drive's number on MegaRAID and HHBA5100, bus 5 and
// the container number on the maker's controller).
#pragma once

#include <cstdint>

#include "sim/device.h"

namespace lumbrel::sim {

struct HostAddress {
  std::uint8_t port = 0;
  std::uint8_t bus = 0;
  std::uint8_t target = 0;
};

class LogicalUnitDevice : public Device {
 public:
  explicit LogicalUnitDevice(HostAddress address) : address_(address) {}
  std::uint32_t Control(ControlRequest& request) override;

 private:
  HostAddress address_;
};

}  // namespace lumbrel::sim
