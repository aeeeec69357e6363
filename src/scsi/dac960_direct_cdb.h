// The DAC960 request blocks, sent with IOCTL_SCSI_MINIPORT to the port
// device "\\.\SCSI%d:": the direct CDB that carries one SCSI command to a
// drive behind the controller, and the controller command (no CDB) with
// which an adapter introduces itself when it opens the controller.
#pragma once

#include "scsi/command_request.h"
#include "scsi/srb_io_control.h"

namespace lumbrel {

namespace dac960_direct_cdb {
inline constexpr Field kHeader{0, srb_io_control::kSize};
inline constexpr Field kReserved1{28, 4};
inline constexpr Field kControllerStatus{32, 2};
inline constexpr Field kReserved2{34, 10};
inline constexpr Field kCommand{44, 1};
inline constexpr Field kParameters{45, 15};
inline constexpr Field kDevice{60, 1};
inline constexpr Field kControl{61, 1};
inline constexpr Field kTransferLength{62, 2};
inline constexpr Field kDataAddress{64, 4};
inline constexpr Field kCdbLength{68, 1};
inline constexpr Field kSenseLength{69, 1};
inline constexpr Field kCdb{70, 12};
inline constexpr Field kSenseArea{82, 64};
inline constexpr Field kStatus{146, 1};
inline constexpr Field kReserved3{147, 1};
inline constexpr std::uint32_t kDataOffset = 148;
static_assert(TilesBlock({kHeader, kReserved1, kControllerStatus, kReserved2, kCommand, kParameters, kDevice, kControl,
                          kTransferLength, kDataAddress, kCdbLength, kSenseLength, kCdb, kSenseArea, kStatus,
                          kReserved3},
                         kDataOffset));
static_assert(kDataOffset <= kTransferBufferExtra);

inline constexpr std::uint32_t kTimeout = 60;
inline constexpr std::uint8_t kDirectCdb = 0x04;
inline constexpr std::uint8_t kControlIn = 0x81;   // direction 1 (data in), bit 7 set
inline constexpr std::uint8_t kControlOut = 0x82;  // direction 2 (data out), bit 7 set
inline constexpr std::uint32_t kLengthBase = 120;
inline constexpr std::uint16_t kStatusNoDevice = 14;
inline constexpr std::uint16_t kStatusSelectionTimeout = 15;

// Fills the block; the length for Transfer, both directions.
std::uint32_t Fill(std::uint8_t* block, const CommandRequest& command);
// The command's result once the driver accepted the request: the controller status.
std::uint32_t Result(const std::uint8_t* block);
SenseView Sense(const std::uint8_t* block);
}  // namespace dac960_direct_cdb

namespace dac960_controller_command {
inline constexpr Field kHeader{0, srb_io_control::kSize};
inline constexpr Field kReserved1{28, 4};
inline constexpr Field kControllerStatus{32, 2};
inline constexpr Field kReserved2{34, 10};
inline constexpr Field kOpcode{44, 1};
inline constexpr Field kReserved3{45, 1};
inline constexpr Field kParameter1{46, 1};
inline constexpr Field kParameter2{47, 1};
inline constexpr Field kZero{48, 1};
inline constexpr Field kReserved4{49, 2};
inline constexpr Field kParameter1Again{51, 1};
inline constexpr Field kReserved5{52, 8};
inline constexpr std::uint32_t kDataOffset = 60;
static_assert(TilesBlock({kHeader, kReserved1, kControllerStatus, kReserved2, kOpcode, kReserved3, kParameter1,
                          kParameter2, kZero, kReserved4, kParameter1Again, kReserved5},
                         kDataOffset));
inline constexpr std::uint32_t kTimeout = 5;
inline constexpr std::uint32_t kLengthBase = 32;
inline constexpr std::uint32_t kMaxData = 4096;
inline constexpr std::uint8_t kOpcodeSendsData = 0xA0;  // the only opcode whose data goes to the controller

// Fills the block with `data` (at most kMaxData bytes) copied in when the
// opcode sends data; the length for Transfer, both directions.
std::uint32_t Fill(std::uint8_t* block, std::uint8_t opcode, std::uint8_t parameter1, std::uint8_t parameter2,
                   const std::uint8_t* data, std::uint32_t dataLength);
std::uint16_t Status(const std::uint8_t* block);
}  // namespace dac960_controller_command

}  // namespace lumbrel
