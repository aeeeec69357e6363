// The MegaRAID mailbox request: a controller command (enquiry,
// configuration) sent with IOCTL_SCSI_MINIPORT to the port device, whose
// reply the driver writes into the rest of the same buffer.
#pragma once

#include "scsi/field.h"
#include "scsi/srb_io_control.h"

namespace lumbrel::megaraid_mailbox {

inline constexpr Field kHeader{0, srb_io_control::kSize};
inline constexpr Field kOpcode{28, 1};
inline constexpr Field kStatus{29, 1};
inline constexpr Field kParameters{30, 6};
inline constexpr std::uint32_t kReplyOffset = 36;
static_assert(TilesBlock({kHeader, kOpcode, kStatus, kParameters}, kReplyOffset));

inline constexpr std::uint32_t kTimeout = 0xFFFFFFFF;
inline constexpr std::uint8_t kStatusPreset = 0xAA;  // the driver replaces it; 0 = success
inline constexpr std::uint8_t kOpcodeEnquiry = 5;
inline constexpr std::uint8_t kOpcodeConfiguration = 7;

// Clears the first kReplyOffset bytes of the `bufferSize`-byte buffer and
// writes the header and the command; `parameters` (6 bytes) may be null.
// The reply area is not cleared. `bufferSize` is at least kReplyOffset.
void Fill(std::uint8_t* buffer, std::uint32_t bufferSize, std::uint8_t opcode, const std::uint8_t* parameters);
inline std::uint8_t Status(const std::uint8_t* buffer) { return Get8(buffer, kStatus); }

}  // namespace lumbrel::megaraid_mailbox
