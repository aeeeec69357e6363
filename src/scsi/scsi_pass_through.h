// SCSI_PASS_THROUGH: the Windows port driver's pass-through request, sent
// with IOCTL_SCSI_PASS_THROUGH to a port device "\\.\SCSI%d:" or a class
// device "\\.\PhysicalDrive%d" / "\\.\Scanner%d". The data travels inside
// the IOCTL buffer, after the structure and its sense area.
#pragma once

#include "scsi/command_request.h"

namespace lumbrel::scsi_pass_through {

inline constexpr Field kLength{0, 2};
inline constexpr Field kScsiStatus{2, 1};
inline constexpr Field kPathId{3, 1};
inline constexpr Field kTargetId{4, 1};
inline constexpr Field kLun{5, 1};
inline constexpr Field kCdbLength{6, 1};
inline constexpr Field kSenseInfoLength{7, 1};
inline constexpr Field kDataIn{8, 1};
inline constexpr Field kPadding{9, 3};
inline constexpr Field kDataTransferLength{12, 4};
inline constexpr Field kTimeOutValue{16, 4};
inline constexpr Field kDataBufferOffset{20, 4};
inline constexpr Field kSenseInfoOffset{24, 4};
inline constexpr Field kCdb{28, 16};
inline constexpr Field kSenseArea{44, 32};  // written by the port driver
inline constexpr Field kUnused{76, 84};
inline constexpr std::uint32_t kStructureSize = 44;  // the SCSI_PASS_THROUGH structure itself
inline constexpr std::uint32_t kDataOffset = 160;
static_assert(TilesBlock({kLength, kScsiStatus, kPathId, kTargetId, kLun, kCdbLength, kSenseInfoLength, kDataIn,
                          kPadding, kDataTransferLength, kTimeOutValue, kDataBufferOffset, kSenseInfoOffset, kCdb,
                          kSenseArea, kUnused},
                         kDataOffset));
static_assert(kSenseArea.offset == kStructureSize && kDataOffset <= kTransferBufferExtra);

inline constexpr std::uint8_t kDataOut = 0;      // SCSI_IOCTL_DATA_OUT
inline constexpr std::uint8_t kDataInValue = 1;  // SCSI_IOCTL_DATA_IN
inline constexpr std::uint32_t kTimeOutSeconds = 5000;

// Fills the block in front of the data area (the sense area is left as it
// is) and gives the lengths for Control.
ControlLengths Fill(std::uint8_t* block, const CommandRequest& command);
// The command's result once the driver accepted the request: its SCSI status.
std::uint32_t Status(const std::uint8_t* block);
SenseView Sense(const std::uint8_t* block);

}  // namespace lumbrel::scsi_pass_through
