// The HHBA5100 driver takes every command as a 10-byte vendor CDB 0x21 that
// carries the drive's bus and target in byte 3; the caller's CDB bytes move
// to the positions that a per-opcode layout gives.
#pragma once

#include <cstdint>

#include "scsi/scsi_commands.h"

namespace lumbrel {

inline constexpr std::uint32_t kWrappedCdbLength = 10;
inline constexpr std::uint8_t kWrappedOpcode = scsi_op::kHhba5100Wrapped;

struct OpcodeLayout {
  std::uint8_t opcode;
  std::uint8_t layoutId;
};
inline constexpr int kOpcodeMapRows = 34;
extern const OpcodeLayout OpcodeMapTable[kOpcodeMapRows];

inline constexpr std::uint8_t kDropped = 0xFF;      // the byte is not carried
inline constexpr std::uint8_t kCopyUnchanged = 0xFF;  // layout id: the CDB is sent as it is
struct CdbLayout {
  std::uint8_t layoutId;
  std::uint8_t position[10];  // where byte i of the caller's CDB goes, or kDropped
};
inline constexpr int kCdbLayoutRows = 7;
extern const CdbLayout CdbLayoutTable[kCdbLayoutRows];

// Wraps `cdb` (of `cdbLength` bytes; bytes past it read as zero) into the
// 10-byte `out` for the drive at (bus, target). False when the operation
// code has no translation; `out` is then all zero.
bool WrapCdb(const std::uint8_t* cdb, std::uint32_t cdbLength, std::uint8_t out[kWrappedCdbLength], std::uint8_t bus,
             std::uint8_t target);

}  // namespace lumbrel
