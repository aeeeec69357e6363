// The HHBA5100 array driver: pass-through like a plain SCSI port, and its
// vendor command 0x21, a 10-byte wrapper that carries another CDB,
// rearranged, and the bus and target of the physical drive that is to run
// it (byte 3: bus in bits 4-7, target in bits 0-3). The vendor commands
// come through the port driver like any request, so they need a unit at
// PathId and TargetId (the class devices' own unit, or the drive itself on
// the port device); the controller then answers them for whichever drive
// byte 3 names. 0x20 {0x20, 0, opcode, 0, 0, 0, 0, length (2 bytes), 0}
// asks the controller itself: opcode 5 its version, 0x61 its logical drives.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "sim/scsi/array_replies.h"
#include "sim/scsi/logical_drive_config.h"
#include "sim/scsi/scsi_port_controller.h"

namespace lumbrel::sim {

inline constexpr std::uint8_t kHhbaDriveCommand = 0x21;       // a CDB for a physical drive
inline constexpr std::uint8_t kHhbaControllerCommand = 0x20;  // a request to the controller itself

struct UnwrappedCdb {
  std::array<std::uint8_t, 16> cdb{};
  std::uint32_t length = 0;
  std::uint32_t bus = 0;
  std::uint32_t target = 0;
};

// The CDB inside a wrapper; none when the wrapper is short or carries an
// operation code that the controller cannot rearrange.
std::optional<UnwrappedCdb> UnwrapHhbaCdb(std::span<const std::uint8_t> wrapped);

class Hhba5100Controller : public ScsiPortController {
 public:
  // The configuration reply describes the port's logical drives as they
  // are at the time of the request; an override replaces a reply.
  Hhba5100Controller(std::shared_ptr<ScsiPort> port, const Machine& machine, const ArrayReplyOverrides& replies);

 protected:
  Delivery RunPassThroughCommand(const PassThroughCommand& command, DataPhase& data, DriverTrace& trace) override;

 private:
  // 0x21 reaches the physical drive named in byte 3; the controller answers
  // for itself when that drive is absent or silent, or the wrapper cannot
  // be unwrapped, and for 0x20. The delivery is always Answered.
  Delivery VendorCommand(std::span<const std::uint8_t> cdb, DataPhase& data, bool autoSense, DriverTrace& trace);
  Delivery ControllerCommand(std::span<const std::uint8_t> cdb, DataPhase& data, bool autoSense, DriverTrace& trace);

  ReplyBytes version_;
  std::optional<ReplyBytes> configuration_;  // the override
};

}  // namespace lumbrel::sim
