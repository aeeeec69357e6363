// The maker's controller driver (qzvscsi): its device "\\.\QZVn" takes a
// SCSI_REQUEST_BLOCK on the private control code 0x0004204C and reaches the
// caller's data and sense areas through the two addresses in the block.
#pragma once

#include <cstdint>
#include <memory>

#include "sim/device.h"
#include "sim/scsi/scsi_port.h"

namespace lumbrel::sim {

class Machine;

class QzvControllerDevice : public Device {
 public:
  QzvControllerDevice(std::shared_ptr<ScsiPort> port, const Machine& machine)
      : port_(std::move(port)), machine_(machine) {}
  std::uint32_t Control(ControlRequest& request) override;

 private:
  std::shared_ptr<ScsiPort> port_;
  const Machine& machine_;
};

}  // namespace lumbrel::sim
