// SRB_IO_CONTROL: the header of every IOCTL_SCSI_MINIPORT request, through
// which the MegaRAID and DAC960 drivers take their own request blocks.
#pragma once

#include "scsi/field.h"

namespace lumbrel::srb_io_control {

inline constexpr Field kHeaderLength{0, 4};
inline constexpr Field kSignature{4, 8};
inline constexpr Field kTimeout{12, 4};
inline constexpr Field kControlCode{16, 4};
inline constexpr Field kReturnCode{20, 4};
inline constexpr Field kLength{24, 4};  // the bytes after the header
inline constexpr std::uint32_t kSize = 28;
static_assert(TilesBlock({kHeaderLength, kSignature, kTimeout, kControlCode, kReturnCode, kLength}, kSize));

// Writes the header; the signature stays the zeros it was cleared to.
inline void Put(std::uint8_t* block, std::uint32_t timeout, std::uint32_t controlCode, std::uint32_t length) {
  Put32(block, kHeaderLength, kSize);
  Put32(block, kTimeout, timeout);
  Put32(block, kControlCode, controlCode);
  Put32(block, kReturnCode, 0);
  Put32(block, kLength, length);
}

}  // namespace lumbrel::srb_io_control
