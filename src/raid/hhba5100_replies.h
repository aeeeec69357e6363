// The replies of the HHBA5100 controller commands that the RAID view sends
// (CDB 0x20): the version (opcode 5) and the configuration (opcode 0x61).
#pragma once

#include <cstdint>

#include "scsi/field.h"

namespace lumbrel::hhba5100_reply {

inline constexpr std::uint8_t kOpcodeVersion = 0x05;
inline constexpr std::uint8_t kOpcodeConfiguration = 0x61;

// Version: minor and major version number.
inline constexpr Field kVersionMinor{40, 1};
inline constexpr Field kVersionMajor{41, 1};

// Configuration: the logical drive count, then the logical drives.
inline constexpr Field kConfigurationUnused1{0, 8};
inline constexpr Field kLogicalDriveCount{8, 1};
inline constexpr Field kConfigurationUnused2{9, 3};
inline constexpr std::uint32_t kLogicalDrivesOffset = 12;
static_assert(TilesBlock({kConfigurationUnused1, kLogicalDriveCount, kConfigurationUnused2}, kLogicalDrivesOffset));

// One logical drive, with room for eight spans.
namespace logical_drive {
inline constexpr Field kState{0, 1};
inline constexpr Field kRaidLevel{1, 1};  // bits 0-6; bit 7 is not part of the level
inline constexpr Field kSpanCount{2, 1};
inline constexpr Field kUnused{3, 1};
inline constexpr std::uint32_t kSpansOffset = 4;
inline constexpr std::uint32_t kSpanRoom = 8;
inline constexpr std::uint8_t kLevelMask = 0x7F;
static_assert(TilesBlock({kState, kRaidLevel, kSpanCount, kUnused}, kSpansOffset));
}  // namespace logical_drive

// One span, with room for four drives.
namespace span {
inline constexpr Field kDriveCount{0, 1};
inline constexpr Field kUnused{1, 3};
inline constexpr std::uint32_t kDrivesOffset = 4;
inline constexpr std::uint32_t kDriveRoom = 4;
static_assert(TilesBlock({kDriveCount, kUnused}, kDrivesOffset));
}  // namespace span

namespace drive {
inline constexpr Field kBus{0, 1};
inline constexpr Field kTarget{1, 1};
inline constexpr Field kUnused{2, 6};
inline constexpr Field kBlocks{8, 4};
inline constexpr std::uint32_t kSize = 12;
static_assert(TilesBlock({kBus, kTarget, kUnused, kBlocks}, kSize));
}  // namespace drive

inline constexpr std::uint32_t kSpanSize = span::kDrivesOffset + span::kDriveRoom * drive::kSize;
inline constexpr std::uint32_t kLogicalDriveSize = logical_drive::kSpansOffset + logical_drive::kSpanRoom * kSpanSize;
static_assert(kSpanSize == 52 && kLogicalDriveSize == 420);

}  // namespace lumbrel::hhba5100_reply
