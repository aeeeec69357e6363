// The SCSI commands that the library sends, built in one place.
//
// Each builder returns a Cdb value with its fields filled by name; a
// multi-byte CDB field is big-endian and goes through the byte-order
// helpers. CdbTransferLength is the rule by which every adapter derives the
// data length of a command from its CDB.
#pragma once

#include <cstdint>

namespace lumbrel {

namespace scsi_op {
inline constexpr std::uint8_t kTestUnitReady = 0x00;
inline constexpr std::uint8_t kRequestSense = 0x03;
inline constexpr std::uint8_t kFormatUnit = 0x04;
inline constexpr std::uint8_t kRead6 = 0x08;
inline constexpr std::uint8_t kWrite6 = 0x0A;
inline constexpr std::uint8_t kInquiry = 0x12;
inline constexpr std::uint8_t kModeSelect6 = 0x15;
inline constexpr std::uint8_t kModeSense6 = 0x1A;
inline constexpr std::uint8_t kHhba5100Command = 0x20;  // vendor: the HHBA5100 controller's own commands
inline constexpr std::uint8_t kHhba5100Wrapped = 0x21;  // vendor: a command wrapped for one drive
inline constexpr std::uint8_t kReadCapacity = 0x25;
inline constexpr std::uint8_t kRead10 = 0x28;
inline constexpr std::uint8_t kWrite10 = 0x2A;
inline constexpr std::uint8_t kVerify10 = 0x2F;
inline constexpr std::uint8_t kWriteBuffer = 0x3B;
inline constexpr std::uint8_t kReadBuffer = 0x3C;
inline constexpr std::uint8_t kLogSelect = 0x4C;
inline constexpr std::uint8_t kLogSense = 0x4D;
}  // namespace scsi_op

// The largest CDB that any request block carries.
inline constexpr std::uint32_t kMaxCdbLength = 16;

// One command descriptor block: its bytes (the rest zero) and its length.
struct Cdb {
  std::uint8_t bytes[kMaxCdbLength] = {};
  std::uint32_t length = 0;
};

// Page control of MODE SENSE and LOG SENSE / LOG SELECT (bits 7-6 of byte 2).
enum class PageControl : std::uint8_t { Current = 0, Changeable = 1, Default = 2, Saved = 3 };
// LOG SENSE / LOG SELECT name the cumulative values 01b.
inline constexpr PageControl kCumulativeValues = PageControl::Changeable;

namespace cdb {

// INQUIRY; the library always asks for 240 bytes.
inline constexpr std::uint8_t kInquiryLength = 240;
Cdb Inquiry(std::uint8_t allocationLength = kInquiryLength);
Cdb TestUnitReady();
// READ(6): `blocks` blocks (0 moves nothing here) from a 21-bit address.
Cdb Read6(std::uint32_t logicalBlock, std::uint8_t blocks);
// MODE SENSE(6) without block descriptors (DBD set).
Cdb ModeSense6(PageControl control, std::uint8_t pageCode, std::uint8_t allocationLength);
// MODE SELECT(6) with PF and SP clear.
Cdb ModeSelect6(std::uint8_t parameterListLength);
// FORMAT UNIT without a parameter list: defect list format 0, interleave 0.
Cdb FormatUnit();
// WRITE BUFFER(10): mode (5: download microcode and save, 7: the same with
// offsets), buffer id, 24-bit buffer offset and parameter list length.
Cdb WriteBuffer10(std::uint8_t mode, std::uint8_t bufferId, std::uint32_t bufferOffset, std::uint32_t length);
Cdb LogSense(PageControl control, std::uint8_t pageCode, std::uint16_t parameterPointer,
             std::uint16_t allocationLength);
// LOG SELECT with PCR clear; `save` sets SP (the drive saves the parameters).
Cdb LogSelect(bool save, PageControl control, std::uint16_t parameterListLength);
// A command of the HHBA5100 controller itself: its opcode and reply length.
Cdb Hhba5100Command(std::uint8_t opcode, std::uint16_t replyLength);

}  // namespace cdb

// Peripheral device type of a direct-access block device (INQUIRY byte 0, low 5 bits).
inline constexpr std::uint8_t kDirectAccessDevice = 0x00;
inline constexpr std::uint8_t kDeviceTypeMask = 0x1F;

// The number of data bytes that the command moves, derived from its
// operation code (blocks of 512 bytes; multi-byte fields big-endian). The CDB
// must hold `cdbLength` bytes; fields past it count as zero.
std::uint32_t CdbTransferLength(const std::uint8_t* cdb, std::uint32_t cdbLength);
inline std::uint32_t CdbTransferLength(const Cdb& command) { return CdbTransferLength(command.bytes, command.length); }

}  // namespace lumbrel
