// The AMI MegaRAID driver: IOCTL_SCSI_MINIPORT requests on the port device,
// of which mailbox command 3 runs a direct CDB on a drive behind the
// controller, 5 (enquiry) and 7 (configuration) describe the controller and
// its logical drives.
#pragma once

#include <cstdint>
#include <optional>

#include "sim/scsi/array_replies.h"
#include "sim/scsi/logical_drive_config.h"
#include "sim/scsi/scsi_port_controller.h"

namespace lumbrel::sim {

class MegaRaidController : public ScsiPortController {
 public:
  // The configuration reply describes the port's logical drives as they
  // are at the time of the request; an override replaces the reply data.
  MegaRaidController(std::shared_ptr<ScsiPort> port, const Machine& machine, const ArrayReplyOverrides& replies);

  // 0 or the Windows error of the request; a command's own outcome is in
  // the command status byte of the block.
  std::uint32_t ServePortDevice(ControlRequest& request) override;

 private:
  std::uint32_t DirectCdb(ControlRequest& request, DriverTrace& trace);
  // Enquiry and configuration: the reply data after the mailbox.
  std::uint32_t Describe(ControlRequest& request, const ReplyBytes& reply, DriverTrace& trace);

  ReplyBytes enquiry_;
  std::optional<ReplyBytes> configuration_;  // the override
  std::uint8_t mailboxStatus_;  // of mailboxes 5 and 7
};

}  // namespace lumbrel::sim
