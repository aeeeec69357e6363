// The 600 bytes that a management application may keep on a drive in its
// vendor log page 0x32: three parameters of 200 bytes, read with LOG SENSE
// and written (and saved) with LOG SELECT.
#pragma once

#include <cstdint>

#include "drives/drive_identifier.h"
#include "scsi/field.h"
#include "scsi/scsi_adapter.h"

namespace lumbrel {

inline constexpr std::uint8_t kStoragePage = 0x32;
inline constexpr std::uint32_t kLogParameterCount = 3;
inline constexpr std::uint32_t kLogParameterSize = 200;
inline constexpr std::uint32_t kLogPageDataSize = kLogParameterCount * kLogParameterSize;

// One parameter of the page as LOG SENSE returns it and LOG SELECT takes it.
namespace log_parameter {
inline constexpr Field kPageCode{0, 1};
inline constexpr Field kReserved{1, 1};
inline constexpr Field kPageLength{2, 2};  // big-endian
inline constexpr Field kParameterCode{4, 2};  // big-endian
inline constexpr Field kControl{6, 1};
inline constexpr Field kParameterLength{7, 1};
inline constexpr Field kData{8, kLogParameterSize};
inline constexpr std::uint32_t kSize = 208;
static_assert(TilesBlock({kPageCode, kReserved, kPageLength, kParameterCode, kControl, kParameterLength, kData},
                         kSize));
inline constexpr std::uint16_t kPageLengthValue = kSize - 4;
inline constexpr std::uint8_t kControlValue = 0x01;
}  // namespace log_parameter

// The write modes of WriteDriveLogPage.
enum LogWriteMode : std::uint32_t { LogWriteChecked = 0, LogWriteUnchecked = 1, LogWriteNothing = 2 };

// 0 when the drive offers page 0x32, 55555 when it does not, or a failure:
// the identity decides when it knows, else the drive's supported-pages list.
std::uint32_t CheckLogPageSupport(ScsiAdapter& adapter, const DriveIdentifier& identifier, std::uint32_t bus,
                                  std::uint32_t target);

// After the support test, the three parameters into `buffer` (its first
// min(size, 600) bytes), written only when all three reads succeeded.
std::uint32_t ReadLogPage(ScsiAdapter& adapter, const DriveIdentifier& identifier, std::uint32_t bus,
                          std::uint32_t target, std::uint8_t* buffer, std::uint32_t size);

// The first 600 bytes of `data` (zeros past its length) as three saved
// parameters. Mode 0 tests support first, 1 does not, 2 sends nothing and
// answers 55555; any other mode sends nothing and answers 87.
std::uint32_t WriteLogPage(ScsiAdapter& adapter, const DriveIdentifier& identifier, std::uint32_t bus,
                           std::uint32_t target, const std::uint8_t* data, std::uint32_t length, std::uint32_t mode);

}  // namespace lumbrel
