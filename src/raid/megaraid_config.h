// The RAID view of an AMI MegaRAID controller (class 1), read with mailbox
// commands (enquiry, configuration) sent to the port device through the
// SCSI miniport control request.
#pragma once

#include <cstdint>

#include "raid/megaraid_replies.h"
#include "raid/raid_config.h"
#include "scsi/megaraid_mailbox.h"

namespace lumbrel {

// Controller state -> array status; a state past the table has status 0
// (ignored by the status lookup).
inline constexpr std::uint32_t kMegaRaidStateCount = 9;
extern const std::uint8_t MegaRaidStateTable[kMegaRaidStateCount];
std::uint32_t MapMegaRaidState(std::uint8_t state);

class MegaRaidConfig : public RaidConfig {
 public:
  static constexpr std::uint32_t kBufferSize = megaraid_mailbox::kReplyOffset + megaraid_reply::kDataSize;
  static_assert(kBufferSize == 2084);

  MegaRaidConfig() : RaidConfig(kBufferSize) {}
  std::uint32_t Refresh() override;

  // One mailbox command (`params`: null or 6 bytes) through the attached
  // adapter's device: the command status (0 = success; 0xAA when the driver
  // left it), the Windows error of the request, 8 or 1200 (not attached).
  std::uint32_t SendMegaRaidCommand(std::uint8_t opcode, const std::uint8_t* params);

 private:
  std::uint32_t ReadVersions();
  std::uint32_t ReadConfiguration();
};

}  // namespace lumbrel
