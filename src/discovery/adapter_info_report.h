// The adapter information report: for every adapter of the list, its
// number, class, driver vendor and name, and the version of the driver's
// image file, taken from the file's version resource by a plain search for
// the UTF-16 key "FileVersion".
#pragma once

#include <cstdint>

#include "discovery/port_table.h"
#include "lumbrel.h"

namespace lumbrel {

inline constexpr std::uint32_t kAdapterInfoRecordSize = 78;
namespace adapter_info {
inline constexpr std::uint32_t kAdapterNumber = 0;
inline constexpr std::uint32_t kClassCode = 4;
inline constexpr std::uint32_t kVendorName = 8;
inline constexpr std::uint32_t kVendorNameSize = 20;
inline constexpr std::uint32_t kDriverName = 28;
inline constexpr std::uint32_t kDriverNameSize = 20;
inline constexpr std::uint32_t kDriverVersion = 48;
inline constexpr std::uint32_t kDriverVersionSize = 30;
static_assert(kDriverVersion + kDriverVersionSize == kAdapterInfoRecordSize);
static_assert(sizeof(AdapterInfoRecord) == kAdapterInfoRecordSize);
static_assert(offsetof(AdapterInfoRecord, vendorName) == kVendorName);
static_assert(offsetof(AdapterInfoRecord, driverName) == kDriverName);
static_assert(offsetof(AdapterInfoRecord, driverVersion) == kDriverVersion);
}  // namespace adapter_info

inline constexpr std::uint32_t kDriverPathSize = 128;
inline constexpr std::uint32_t kVersionTextSize = 32;

// Fills one 78-byte record for each of the first `adapterCount` ports (the
// caller passes the adapter list's count: 0 until the list is built) and
// returns 0, or returns the port scan's error and writes nothing.
std::uint32_t ReportAdapterInfo(PortTable& ports, std::uint32_t adapterCount, std::uint8_t* records);

// Reads the file at `path` and looks for `key` as UTF-16LE text; the value
// that follows the key's terminator and one padding unit is copied into
// `out` (`outSize` bytes, terminated) as the low byte of each character.
// 0, or the Windows error of opening or reading the file; `out` stays empty
// unless the key was found.
std::uint32_t ReadFileVersionString(const char* path, const char* key, char* out, std::uint32_t outSize);

}  // namespace lumbrel
