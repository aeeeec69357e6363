// The MegaRAID direct CDB: a mailbox that carries one SCSI command to a
// drive behind the controller, sent with IOCTL_SCSI_MINIPORT to the port
// device "\\.\SCSI%d:". The driver moves the data through the address in
// the mailbox, which designates the data area after it.
#pragma once

#include "scsi/command_request.h"
#include "scsi/srb_io_control.h"

namespace lumbrel::megaraid_direct_cdb {

inline constexpr Field kHeader{0, srb_io_control::kSize};
inline constexpr Field kCommand{28, 1};
inline constexpr Field kCommandStatus{29, 1};
inline constexpr Field kReserved{30, 6};
inline constexpr Field kControl{36, 1};
inline constexpr Field kLogicalDrive{37, 1};
inline constexpr Field kChannel{38, 1};
inline constexpr Field kTarget{39, 1};
inline constexpr Field kQueueTag{40, 1};
inline constexpr Field kQueueAction{41, 1};
inline constexpr Field kCdb{42, 10};
inline constexpr Field kCdbLength{52, 1};
inline constexpr Field kRequestSenseLength{53, 1};
inline constexpr Field kSenseArea{54, 32};
inline constexpr Field kScatterGatherCount{86, 1};
inline constexpr Field kScsiStatus{87, 1};
inline constexpr Field kDataAddress{88, 4};
inline constexpr Field kDataLength{92, 4};
inline constexpr std::uint32_t kDataOffset = 96;
static_assert(TilesBlock({kHeader, kCommand, kCommandStatus, kReserved, kControl, kLogicalDrive, kChannel, kTarget,
                          kQueueTag, kQueueAction, kCdb, kCdbLength, kRequestSenseLength, kSenseArea,
                          kScatterGatherCount, kScsiStatus, kDataAddress, kDataLength},
                         kDataOffset));
static_assert(kDataOffset <= kTransferBufferExtra);

inline constexpr std::uint32_t kTimeout = 0xFFFFFFFF;
inline constexpr std::uint32_t kControlCodeIn = 0;
inline constexpr std::uint32_t kControlCodeOut = 1;
inline constexpr std::uint8_t kDirectCdb = 3;
inline constexpr std::uint8_t kStatusPreset = 0xAA;  // the driver overwrites it
inline constexpr std::uint8_t kStatusNoDevice = 0xF0;
// Control byte: bits 0-2 the time-out class, bit 3 automatic request sense.
inline constexpr std::uint8_t kControlDefault = 0x08;
inline constexpr std::uint8_t kControlFormat = 0x0B;
inline constexpr std::uint8_t kControlWriteBuffer = 0x0A;
// SRB_IO_CONTROL.Length counts the bytes after the header up to the data's end.
inline constexpr std::uint32_t kLengthBase = kDataOffset - srb_io_control::kSize;
static_assert(kLengthBase == 68);

// Fills the mailbox; an input command always asks for the whole data area
// of `maxTransfer` bytes. The length for Transfer, both directions.
std::uint32_t Fill(std::uint8_t* block, const CommandRequest& command, std::uint32_t maxTransfer);
// The command's result once the driver accepted the request: its command status.
std::uint32_t Result(const std::uint8_t* block);
SenseView Sense(const std::uint8_t* block);

}  // namespace lumbrel::megaraid_direct_cdb
