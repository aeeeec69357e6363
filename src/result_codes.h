// Result codes that the library produces itself. One 32-bit space is shared by
// every export: 0 is success; SCSI statuses, controller statuses, Windows
// error codes and I2C library codes pass through it unchanged.
//
// A leaf: every layer of the library may include it.
#pragma once

#include <cstdint>

#include "lumbrel.h"

namespace lumbrel {

inline constexpr std::uint32_t kSuccess = LUMBREL_SUCCESS;
inline constexpr std::uint32_t kJobExistsOrNoAdapter = LUMBREL_JOB_EXISTS_OR_NO_ADAPTER;
inline constexpr std::uint32_t kNoJobStartBlock = LUMBREL_NO_JOB_BLOCK;
inline constexpr std::uint32_t kCheckCondition = LUMBREL_CHECK_CONDITION;
inline constexpr std::uint32_t kNoMemory = LUMBREL_NO_MEMORY;
inline constexpr std::uint32_t kNoCage = LUMBREL_NO_CAGE;
inline constexpr std::uint32_t kTargetNotInCage = LUMBREL_TARGET_NOT_IN_CAGE;
inline constexpr std::uint32_t kCageNotFound = LUMBREL_CAGE_NOT_FOUND;
inline constexpr std::uint32_t kBadBusOrClosedHandle = LUMBREL_BAD_BUS;
inline constexpr std::uint32_t kInvalidParameter = LUMBREL_INVALID_PARAMETER;
inline constexpr std::uint32_t kNoDevice = LUMBREL_NO_DEVICE;
inline constexpr std::uint32_t kNotSupported = LUMBREL_NOT_SUPPORTED;
inline constexpr std::uint32_t kOperationRefused = LUMBREL_OPERATION_REFUSED;
inline constexpr std::uint32_t kNoLogPage = LUMBREL_NO_LOG_PAGE;

}  // namespace lumbrel
