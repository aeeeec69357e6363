// The disk configuration record that Windows keeps in the registry value
// HKLM\SYSTEM\DISK "Information": a header that locates the disk list, one
// record per physical drive in drive order, and in each record the
// partitions with the drive letters assigned to them.
#pragma once

#include "scsi/field.h"

namespace lumbrel::disk_information {

inline constexpr const char* kKey = "SYSTEM\\DISK";
inline constexpr const char* kValue = "Information";
inline constexpr std::uint32_t kValueRoom = 4096;  // larger values are not read

// Header: where the disk list starts, from the start of the value.
inline constexpr Field kDiskListOffset{12, 4};

// Disk list.
namespace disk_list {
inline constexpr Field kDiskCount{0, 2};
inline constexpr std::uint32_t kFirstDisk = 4;
}  // namespace disk_list

// Disk record k belongs to "\\.\PhysicalDrive<k>"; it is
// kPartitionsOffset + partitions * partition::kSize bytes long.
namespace disk {
inline constexpr Field kPartitionCount{0, 2};
inline constexpr std::uint32_t kPartitionsOffset = 8;
}  // namespace disk

namespace partition {
inline constexpr Field kDriveLetter{40, 1};  // 0 (or above 0x7F): no letter
inline constexpr std::uint32_t kSize = 52;
}  // namespace partition

}  // namespace lumbrel::disk_information
