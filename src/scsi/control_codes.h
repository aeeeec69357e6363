// The device control codes through which the library reaches the drivers.
#pragma once

#include <cstdint>

namespace lumbrel {

// CTL_CODE(device type, function, method, access).
constexpr std::uint32_t ControlCode(std::uint32_t deviceType, std::uint32_t function, std::uint32_t method,
                                    std::uint32_t access) {
  return (deviceType << 16) | (access << 14) | (function << 2) | method;
}
inline constexpr std::uint32_t kFileDeviceController = 0x04;
inline constexpr std::uint32_t kIoctlVolumeBase = 0x56;  // 'V'
inline constexpr std::uint32_t kMethodBuffered = 0;
inline constexpr std::uint32_t kFileAnyAccess = 0;
inline constexpr std::uint32_t kFileReadWriteAccess = 3;

inline constexpr std::uint32_t kIoctlScsiPassThrough =
    ControlCode(kFileDeviceController, 0x401, kMethodBuffered, kFileReadWriteAccess);
inline constexpr std::uint32_t kIoctlScsiMiniport =
    ControlCode(kFileDeviceController, 0x402, kMethodBuffered, kFileReadWriteAccess);
inline constexpr std::uint32_t kIoctlScsiGetAddress =
    ControlCode(kFileDeviceController, 0x406, kMethodBuffered, kFileAnyAccess);
// The maker's controller driver takes SCSI_REQUEST_BLOCKs on a code of its own.
inline constexpr std::uint32_t kIoctlQzvExecuteSrb =
    ControlCode(kFileDeviceController, 0x813, kMethodBuffered, kFileAnyAccess);
// The disk extents that a volume ("\\.\X:") lies on.
inline constexpr std::uint32_t kIoctlVolumeGetVolumeDiskExtents =
    ControlCode(kIoctlVolumeBase, 0, kMethodBuffered, kFileAnyAccess);
static_assert(kIoctlScsiPassThrough == 0x0004D004u);
static_assert(kIoctlScsiMiniport == 0x0004D008u);
static_assert(kIoctlScsiGetAddress == 0x00041018u);
static_assert(kIoctlQzvExecuteSrb == 0x0004204Cu);
static_assert(kIoctlVolumeGetVolumeDiskExtents == 0x00560000u);

}  // namespace lumbrel
