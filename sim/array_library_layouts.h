// The blocks that the array controller management library writes into its
// caller's buffers: one container's record (FsaGetContainerInfo) and the
// general information block (FsaGetGeneralInformation), as the library
// lays them out. Integers are little-endian; bytes not named here are 0.
#pragma once

#include <cstdint>

#include "sim/scsi/request_layouts.h"

namespace lumbrel::sim::layout {

namespace container_record {
inline constexpr Field kNumber{0, 1};
inline constexpr Field kType{28, 4};
inline constexpr Field kState{36, 4};
inline constexpr Field kHidden{44, 4};
inline constexpr Field kValid{64, 4};
inline constexpr std::uint32_t kSizeBytes = 72;  // u64
inline constexpr Field kQualifierA{240, 4};
inline constexpr Field kQualifierB{256, 4};
inline constexpr Field kMemberCount{264, 4};
inline constexpr std::uint32_t kMembers = 484;  // 32-byte member entries: bus, target
inline constexpr std::uint32_t kMemberStride = 32;
inline constexpr Field kMemberBus{0, 1};
inline constexpr Field kMemberTarget{1, 1};
inline constexpr std::uint32_t kRoomedMembers = 32;  // the record always has room for this many
static_assert(kType.offset > kNumber.end() && kState.offset > kType.end() && kHidden.offset > kState.end() &&
              kValid.offset > kHidden.end() && kSizeBytes >= kValid.end() && kQualifierA.offset > kSizeBytes + 8 &&
              kQualifierB.offset > kQualifierA.end() && kMemberCount.offset > kQualifierB.end() &&
              kMembers > kMemberCount.end());
}  // namespace container_record

namespace general_information {
inline constexpr Field kBuild{280, 1};
inline constexpr Field kSuffix{281, 1};  // index into the library's version suffix table
inline constexpr Field kMinor{282, 1};
inline constexpr Field kMajor{283, 1};
inline constexpr std::uint32_t kSize = 568;
}  // namespace general_information

}  // namespace lumbrel::sim::layout
