// SCSI_REQUEST_BLOCK: the Windows miniport request block (64 bytes), which
// the maker's controller driver takes on its own control code at
// "\\.\QZV%d". The data and the sense area are reached through the process
// addresses in the block, not through the IOCTL buffer.
#pragma once

#include "scsi/command_request.h"

namespace lumbrel::scsi_request_block {

inline constexpr Field kLength{0, 2};
inline constexpr Field kFunction{2, 1};
inline constexpr Field kSrbStatus{3, 1};
inline constexpr Field kScsiStatus{4, 1};
inline constexpr Field kPathId{5, 1};
inline constexpr Field kTargetId{6, 1};
inline constexpr Field kLun{7, 1};
inline constexpr Field kQueueTag{8, 1};
inline constexpr Field kQueueAction{9, 1};
inline constexpr Field kCdbLength{10, 1};
inline constexpr Field kSenseInfoBufferLength{11, 1};
inline constexpr Field kSrbFlags{12, 4};
inline constexpr Field kDataTransferLength{16, 4};
inline constexpr Field kTimeOutValue{20, 4};
inline constexpr Field kDataBuffer{24, 4};
inline constexpr Field kSenseInfoBuffer{28, 4};
inline constexpr Field kNextSrb{32, 4};
inline constexpr Field kOriginalRequest{36, 4};
inline constexpr Field kSrbExtension{40, 4};
inline constexpr Field kInternalStatus{44, 4};
inline constexpr Field kCdb{48, 16};
inline constexpr Field kSenseArea{64, 32};  // reached by the driver through SenseInfoBuffer
inline constexpr std::uint32_t kBlockSize = 64;
inline constexpr std::uint32_t kDataOffset = 96;
static_assert(TilesBlock({kLength, kFunction, kSrbStatus, kScsiStatus, kPathId, kTargetId, kLun, kQueueTag,
                          kQueueAction, kCdbLength, kSenseInfoBufferLength, kSrbFlags, kDataTransferLength,
                          kTimeOutValue, kDataBuffer, kSenseInfoBuffer, kNextSrb, kOriginalRequest, kSrbExtension,
                          kInternalStatus, kCdb, kSenseArea},
                         kDataOffset));
static_assert(kSenseArea.offset == kBlockSize && kDataOffset <= kTransferBufferExtra);

inline constexpr std::uint8_t kFunctionExecuteScsi = 0x00;  // SRB_FUNCTION_EXECUTE_SCSI
inline constexpr std::uint8_t kUntagged = 0xFF;             // SP_UNTAGGED
inline constexpr std::uint32_t kFlagDataIn = 0x00000040;
inline constexpr std::uint32_t kFlagDataOut = 0x00000080;
inline constexpr std::uint32_t kFlagDisableSynchTransfer = 0x00000008;
inline constexpr std::uint32_t kFlagIsActive = 0x00010000;
inline constexpr std::uint32_t kFlagsIn = kFlagIsActive | kFlagDataIn | kFlagDisableSynchTransfer;
inline constexpr std::uint32_t kFlagsOut = kFlagIsActive | kFlagDataOut | kFlagDisableSynchTransfer;
static_assert(kFlagsIn == 0x00010048u && kFlagsOut == 0x00010088u);
inline constexpr std::uint8_t kStatusSuccess = 0x01;           // SRB_STATUS_SUCCESS
inline constexpr std::uint8_t kStatusSelectionTimeout = 0x0A;  // SRB_STATUS_SELECTION_TIMEOUT
inline constexpr std::uint8_t kStatusDataOverrun = 0x12;       // SRB_STATUS_DATA_OVERRUN
inline constexpr std::uint32_t kMinimumInputLength = 32;       // input transfers ask for at least this much
inline constexpr std::uint32_t kFormatTimeOutSeconds = 7500;
inline constexpr std::uint32_t kWriteBufferTimeOutSeconds = 600;
inline constexpr std::uint32_t kTimeOutSeconds = 5;

// Fills the block; Control takes kBlockSize bytes each way.
void Fill(std::uint8_t* block, const CommandRequest& command);
// The command's result once the driver accepted the request, from SrbStatus.
std::uint32_t Result(const std::uint8_t* block);
SenseView Sense(const std::uint8_t* block);

}  // namespace lumbrel::scsi_request_block
