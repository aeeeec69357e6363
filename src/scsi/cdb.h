// SCSI command descriptor blocks: the operation codes the library sends and
// the data length that a CDB moves.
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
inline constexpr std::uint8_t kVendor20 = 0x20;
inline constexpr std::uint8_t kVendor21 = 0x21;
inline constexpr std::uint8_t kReadCapacity = 0x25;
inline constexpr std::uint8_t kRead10 = 0x28;
inline constexpr std::uint8_t kWrite10 = 0x2A;
inline constexpr std::uint8_t kVerify10 = 0x2F;
inline constexpr std::uint8_t kWriteBuffer = 0x3B;
inline constexpr std::uint8_t kReadBuffer = 0x3C;
inline constexpr std::uint8_t kLogSelect = 0x4C;
inline constexpr std::uint8_t kLogSense = 0x4D;
}  // namespace scsi_op

// The largest CDB that any request format carries.
inline constexpr std::uint32_t kMaxCdbLength = 16;

// INQUIRY with an allocation length of 240: the first command of every scan,
// identification and readiness test.
inline constexpr std::uint8_t kInquiryCdb[6] = {scsi_op::kInquiry, 0x00, 0x00, 0x00, 0xF0, 0x00};

// Peripheral device type of a direct-access block device (INQUIRY byte 0, low 5 bits).
inline constexpr std::uint8_t kDirectAccessDevice = 0x00;
inline constexpr std::uint8_t kDeviceTypeMask = 0x1F;

// The number of data bytes that the command moves, derived from its
// operation code (blocks of 512 bytes; multi-byte fields big-endian). The CDB
// must hold `cdbLength` bytes; fields past it count as zero.
std::uint32_t CdbTransferLength(const std::uint8_t* cdb, std::uint32_t cdbLength);

}  // namespace lumbrel
