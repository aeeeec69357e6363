// The address of a drive as the caller names it: port (adapter number),
// bus and target. Three packed bytes, compared byte by byte; the key of
// the RAID views and of the drive-letter map.
#pragma once

#include <cstdint>

namespace lumbrel {

struct DriveAddress {
  std::uint8_t target = 0;  // for a logical drive: its number on the controller
  std::uint8_t bus = 0;
  std::uint8_t port = 0;

  friend bool operator==(const DriveAddress&, const DriveAddress&) = default;
};
static_assert(sizeof(DriveAddress) == 3, "DriveAddress is three packed bytes");

// Room for the physical drives behind one logical drive.
inline constexpr std::uint32_t kMaxMembers = 32;

}  // namespace lumbrel
