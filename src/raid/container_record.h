// The two blocks that the array controller management library fills for
// the maker's controller: the record of one container (FsaGetContainerInfo)
// and the general information block (FsaGetGeneralInformation). Only the
// named fields are used; the gaps belong to the library.
#pragma once

#include <cstdint>

#include "scsi/drive_address.h"
#include "scsi/field.h"

namespace lumbrel {

namespace container_record {
inline constexpr Field kNumber{0, 1};  // the logical drive's target
inline constexpr Field kReserved1{1, 27};
inline constexpr Field kType{28, 4};
inline constexpr Field kReserved32{32, 4};
inline constexpr Field kState{36, 4};
inline constexpr Field kReserved40{40, 4};
inline constexpr Field kHidden{44, 4};  // nonzero: skipped
inline constexpr Field kReserved48{48, 16};
inline constexpr Field kValid{64, 4};  // zero: skipped
inline constexpr Field kReserved68{68, 4};
inline constexpr Field kSizeBytes{72, 8};
inline constexpr Field kReserved80{80, 160};
inline constexpr Field kQualifierA{240, 4};  // RAID 5 only
inline constexpr Field kReserved244{244, 12};
inline constexpr Field kQualifierB{256, 4};  // RAID 5 only
inline constexpr Field kReserved260{260, 4};
inline constexpr Field kMemberCount{264, 4};
inline constexpr Field kReserved268{268, 216};
inline constexpr Field kMembers{484, 32 * kMaxMembers};  // the first 32 member entries

inline constexpr std::uint32_t kMemberStride = 32;
namespace member {
inline constexpr Field kBus{0, 1};
inline constexpr Field kTarget{1, 1};
}  // namespace member

// A record with room for 32 members; the library may declare more.
inline constexpr std::uint32_t kSize = kMembers.end();
static_assert(TilesBlock({kNumber, kReserved1, kType, kReserved32, kState, kReserved40, kHidden, kReserved48, kValid,
                          kReserved68, kSizeBytes, kReserved80, kQualifierA, kReserved244, kQualifierB, kReserved260,
                          kMemberCount, kReserved268, kMembers},
                         kSize),
              "the container record is laid out without gaps");
}  // namespace container_record

namespace general_information {
inline constexpr Field kReserved0{0, 280};
inline constexpr Field kBuild{280, 1};
inline constexpr Field kSuffix{281, 1};  // index into the version suffix table
inline constexpr Field kMinor{282, 1};
inline constexpr Field kMajor{283, 1};
inline constexpr Field kReserved284{284, 284};
inline constexpr std::uint32_t kSize = 568;
static_assert(TilesBlock({kReserved0, kBuild, kSuffix, kMinor, kMajor, kReserved284}, kSize),
              "the general information block is laid out without gaps");
}  // namespace general_information

}  // namespace lumbrel
