// VOLUME_DISK_EXTENTS: the reply of IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS,
// received from a volume device into a buffer with room for 16 extents.
#pragma once

#include "scsi/field.h"

namespace lumbrel::volume_disk_extents {

inline constexpr Field kNumberOfDiskExtents{0, 4};
inline constexpr Field kPadding{4, 4};
inline constexpr std::uint32_t kFirstExtent = 8;
inline constexpr std::uint32_t kMaxExtents = 16;

// One DISK_EXTENT, at kFirstExtent + i * kExtentSize.
namespace extent {
inline constexpr Field kDiskNumber{0, 4};  // N of "\\.\PhysicalDriveN"
inline constexpr Field kPadding{4, 4};
inline constexpr Field kStartingOffset{8, 8};
inline constexpr Field kExtentLength{16, 8};
inline constexpr std::uint32_t kSize = 24;
static_assert(TilesBlock({kDiskNumber, kPadding, kStartingOffset, kExtentLength}, kSize));
}  // namespace extent

inline constexpr std::uint32_t kReplySize = kFirstExtent + kMaxExtents * extent::kSize;
static_assert(TilesBlock({kNumberOfDiskExtents, kPadding}, kFirstExtent));
static_assert(kReplySize == 392);

}  // namespace lumbrel::volume_disk_extents
