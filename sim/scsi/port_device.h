// "\\.\SCSIn:", the device of SCSI port n: pass-through for the families
// under the Windows port driver, the miniport requests of the MegaRAID and
// DAC960 drivers.
#pragma once

#include <memory>

#include "sim/device.h"
#include "sim/scsi/scsi_port.h"

namespace lumbrel::sim {

class Machine;

class PortDevice : public Device {
 public:
  PortDevice(std::shared_ptr<ScsiPort> port, const Machine& machine) : port_(std::move(port)), machine_(machine) {}
  std::uint32_t Control(ControlRequest& request) override;

 private:
  std::shared_ptr<ScsiPort> port_;
  const Machine& machine_;
};

}  // namespace lumbrel::sim
