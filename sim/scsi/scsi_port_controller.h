// The driver behind the devices of one SCSI port. Each driver family is one
// class that keeps the controller's state and serves the family's control
// codes; this one is the plain SCSI port (a generic miniport, or the IDE
// port drivers, under the Windows port driver) and the base of the others:
//
//   ScsiPortController   IOCTL_SCSI_PASS_THROUGH on "\\.\SCSIn:" and, forwarded
//                        by the class drivers, on "\\.\PhysicalDriveN", ...
//   Hhba5100Controller   + the vendor commands 0x20 and 0x21 in pass-through
//   MegaRaidController   + IOCTL_SCSI_MINIPORT mailbox commands
//   Dac960Controller     + IOCTL_SCSI_MINIPORT direct CDBs and controller commands
//   QzvController        + SCSI request blocks on "\\.\QZVn"
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "sim/device.h"
#include "sim/scsi/driver_trace.h"
#include "sim/scsi/scsi_port.h"

namespace lumbrel::sim {

class Machine;

// A pass-through request that the port driver accepted: the unit it goes
// to and its CDB.
struct PassThroughCommand {
  std::uint32_t bus = 0;
  std::uint32_t target = 0;
  std::uint32_t lun = 0;
  std::span<const std::uint8_t> cdb;
  bool autoSense = false;  // the request has a sense area
};

class ScsiPortController {
 public:
  ScsiPortController(std::shared_ptr<ScsiPort> port, const Machine& machine)
      : port_(std::move(port)), machine_(machine) {}
  virtual ~ScsiPortController() = default;
  ScsiPortController(const ScsiPortController&) = delete;
  ScsiPortController& operator=(const ScsiPortController&) = delete;

  // A request on the port device "\\.\SCSIn:": pass-through here; the
  // families add their own codes. 0 or the Windows error of the request.
  virtual std::uint32_t ServePortDevice(ControlRequest& request);
  // A pass-through request that the class driver of `unit` forwards: it
  // goes to its own unit whatever PathId, TargetId and Lun say.
  std::uint32_t ServeClassRequest(ControlRequest& request, const ScsiDrive& unit) {
    return PassThrough(request, &unit);
  }
  // A request on the controller's own device, for the families that have
  // one ("\\.\QZVn").
  virtual std::uint32_t ServeControllerDevice(ControlRequest& request);

 protected:
  ScsiPort& port() const { return *port_; }
  const Machine& machine() const { return machine_; }

  // Writes the sense data that came with `delivery` to `area`, at most
  // `room` bytes, and records them; returns the bytes written.
  static std::uint32_t ReturnSense(const Delivery& delivery, std::uint8_t* area, std::uint32_t room,
                                   DriverTrace& trace);

  // Sends the command of an accepted pass-through request to its unit.
  virtual Delivery RunPassThroughCommand(const PassThroughCommand& command, DataPhase& data, DriverTrace& trace);

 private:
  // IOCTL_SCSI_PASS_THROUGH as the Windows port driver serves it. `owner`
  // is the unit of the class driver that forwards the request; null for the
  // port device, which refuses addresses that hold no unit it sees or a
  // unit that a class driver has claimed.
  std::uint32_t PassThrough(ControlRequest& request, const ScsiDrive* owner);

  std::shared_ptr<ScsiPort> port_;
  const Machine& machine_;
};

}  // namespace lumbrel::sim
