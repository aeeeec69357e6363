// The maker's controller driver (qzvscsi): pass-through on its port device
// like a plain SCSI port (which sees none of its drives), and its own
// device "\\.\QZVn", which takes a SCSI_REQUEST_BLOCK on the private control
// code 0x0004204C and reaches the caller's data and sense areas through
// the two addresses in the block.
#pragma once

#include <cstdint>

#include "sim/scsi/scsi_port_controller.h"

namespace lumbrel::sim {

class QzvController : public ScsiPortController {
 public:
  using ScsiPortController::ScsiPortController;

  std::uint32_t ServeControllerDevice(ControlRequest& request) override;
};

}  // namespace lumbrel::sim
