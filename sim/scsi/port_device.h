// The devices of a SCSI port's driver: "\\.\SCSIn:", the port device, and
// the controller device of the families that have one ("\\.\QZVn"). Both
// hand their requests to the port's controller.
#pragma once

#include <memory>

#include "sim/device.h"
#include "sim/scsi/scsi_port_controller.h"

namespace lumbrel::sim {

class PortDevice : public Device {
 public:
  explicit PortDevice(std::shared_ptr<ScsiPortController> controller) : controller_(std::move(controller)) {}
  std::uint32_t Control(ControlRequest& request) override { return controller_->ServePortDevice(request); }

 private:
  std::shared_ptr<ScsiPortController> controller_;
};

class ControllerDevice : public Device {
 public:
  explicit ControllerDevice(std::shared_ptr<ScsiPortController> controller) : controller_(std::move(controller)) {}
  std::uint32_t Control(ControlRequest& request) override { return controller_->ServeControllerDevice(request); }

 private:
  std::shared_ptr<ScsiPortController> controller_;
};

}  // namespace lumbrel::sim
