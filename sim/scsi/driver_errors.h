// The Windows error codes with which the simulated drivers fail requests
// (DeviceIoControl reports them through GetLastError).
#pragma once

#include <cstdint>

namespace lumbrel::sim::driver_error {

inline constexpr std::uint32_t kInvalidFunction = 1;      // control code the device does not serve
inline constexpr std::uint32_t kAccessDenied = 5;         // handle opened without the access the code needs
inline constexpr std::uint32_t kInvalidParameter = 87;    // malformed request, or no unit at the address
inline constexpr std::uint32_t kSemTimeout = 121;         // the target did not answer selection
inline constexpr std::uint32_t kInsufficientBuffer = 122;  // output buffer too small for the reply
inline constexpr std::uint32_t kNoAccess = 998;           // an address in the request does not reach the caller's area
inline constexpr std::uint32_t kIoDevice = 1117;          // the bus phase went wrong (data against the direction)
inline constexpr std::uint32_t kRevisionMismatch = 1306;  // a header length the driver does not know

}  // namespace lumbrel::sim::driver_error
