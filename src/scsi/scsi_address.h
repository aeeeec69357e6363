// SCSI_ADDRESS: the reply of IOCTL_SCSI_GET_ADDRESS, received from a class
// device (or a volume) opened for queries only.
#pragma once

#include "scsi/field.h"

namespace lumbrel::scsi_address {

inline constexpr Field kLength{0, 4};
inline constexpr Field kPortNumber{4, 1};
inline constexpr Field kPathId{5, 1};
inline constexpr Field kTargetId{6, 1};
inline constexpr Field kLun{7, 1};
inline constexpr std::uint32_t kSize = 8;
static_assert(TilesBlock({kLength, kPortNumber, kPathId, kTargetId, kLun}, kSize));

}  // namespace lumbrel::scsi_address
