// The names of the Windows device objects through which requests go.
#pragma once

#include <cstdint>

namespace lumbrel {

// Room for every name built here, terminator included.
inline constexpr std::uint32_t kDeviceNameBufferSize = 32;

// Class-driver devices, in the order in which they are enumerated: name
// format 0 is "\\.\PhysicalDrive%d" (disks), 1 is "\\.\Scanner%d".
inline constexpr std::uint32_t kClassDeviceNameFormatCount = 2;
void FormatClassDeviceName(char* name, std::uint32_t format, std::uint32_t number);
// The SCSI port device "\\.\SCSI%d:".
void FormatPortDeviceName(char* name, std::uint32_t port);
// The maker's controller device "\\.\QZV%d".
void FormatControllerDeviceName(char* name, std::uint32_t controller);

}  // namespace lumbrel
