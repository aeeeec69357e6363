// The RAID view of an HHBA5100 controller (class 3), read with the vendor
// controller command 0x20 through the adapter's pass-through. The replies
// arrive in the adapter's data area; the view's own buffer is not used.
#pragma once

#include <cstdint>

#include "platform/byte_view.h"
#include "raid/hhba5100_replies.h"
#include "raid/raid_config.h"

namespace lumbrel {

// Controller state -> array status: 0xFF -> 1, 4 -> 6, 3 -> 3, else 0.
std::uint32_t MapHhbaStatus(std::uint8_t state);

// Turns the sum of the members' blocks into the logical drive's usable
// capacity: RAID 1 and 6 halve it, RAID 3 and 5 lose one member's share.
// 1 for those levels, else 0 (capacity unchanged).
std::uint32_t AdjustCapacity(LogicalDrive& drive, std::uint32_t memberCount);

class Hhba5100Config : public RaidConfig {
 public:
  static constexpr std::uint32_t kBufferSize = 5120;  // the transfer length of every command
  static constexpr std::uint32_t kLevelNone = 7;  // stored as kRaidLevelNone

  Hhba5100Config() : RaidConfig(kBufferSize) {}
  std::uint32_t Refresh() override;

  // One controller command to bus 0, target 0: the adapter's result
  // (nonzero also for a SCSI status), or 1200 when not attached.
  std::uint32_t SendHhbaCommand(std::uint8_t opcode);

 private:
  // The reply of the last command: the data area, bufferSize bytes.
  ByteView Reply() const;
  std::uint32_t ReadConfiguration();
};

}  // namespace lumbrel
