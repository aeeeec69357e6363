// The replies of the MegaRAID mailbox commands that the RAID view sends:
// the enquiry (opcode 5) and the configuration (opcode 7), as offsets into
// the reply data that follows the mailbox.
#pragma once

#include <cstdint>

#include "scsi/field.h"

namespace lumbrel::megaraid_reply {

inline constexpr std::uint32_t kDataSize = 2048;  // the reply data after the mailbox

// Enquiry: two version texts of four bytes each, stored last byte first.
inline constexpr Field kFirmwareVersion{4, 4};
inline constexpr Field kBiosVersion{13, 4};

// Configuration: the logical drive count, then the logical drives.
inline constexpr Field kLogicalDriveCount{0, 1};
inline constexpr Field kConfigurationUnused{1, 3};
inline constexpr std::uint32_t kLogicalDrivesOffset = 4;
static_assert(TilesBlock({kLogicalDriveCount, kConfigurationUnused}, kLogicalDrivesOffset));

// One logical drive, with room for four spans.
namespace logical_drive {
inline constexpr Field kSpanCount{0, 1};
inline constexpr Field kRaidLevel{1, 1};
inline constexpr Field kUnused1{2, 2};
inline constexpr Field kState{4, 1};
inline constexpr Field kUnused2{5, 2};
inline constexpr Field kDrivesPerSpan{7, 1};
inline constexpr std::uint32_t kSpansOffset = 8;
inline constexpr std::uint32_t kSpanRoom = 4;
static_assert(TilesBlock({kSpanCount, kRaidLevel, kUnused1, kState, kUnused2, kDrivesPerSpan}, kSpansOffset));
}  // namespace logical_drive

// One span, with room for eight drives.
namespace span {
inline constexpr Field kUnused{0, 4};
inline constexpr Field kBlocks{4, 4};
inline constexpr std::uint32_t kDrivesOffset = 8;
inline constexpr std::uint32_t kDriveRoom = 8;
static_assert(TilesBlock({kUnused, kBlocks}, kDrivesOffset));
}  // namespace span

namespace drive {
inline constexpr Field kBus{0, 1};
inline constexpr Field kTarget{1, 1};
inline constexpr std::uint32_t kSize = 2;
static_assert(TilesBlock({kBus, kTarget}, kSize));
}  // namespace drive

inline constexpr std::uint32_t kSpanSize = span::kDrivesOffset + span::kDriveRoom * drive::kSize;
inline constexpr std::uint32_t kLogicalDriveSize = logical_drive::kSpansOffset + logical_drive::kSpanRoom * kSpanSize;
static_assert(kSpanSize == 24 && kLogicalDriveSize == 104);

}  // namespace lumbrel::megaraid_reply
