#include "scsi/scsi_commands.h"

#include "platform/byte_order.h"

namespace lumbrel {
namespace {

constexpr std::uint32_t kBlockSize = 512;

Cdb Command(std::uint8_t opcode, std::uint32_t length) {
  Cdb command;
  command.bytes[0] = opcode;
  command.length = length;
  return command;
}

std::uint8_t PageByte(PageControl control, std::uint8_t pageCode) {
  return static_cast<std::uint8_t>((static_cast<std::uint8_t>(control) << 6) | (pageCode & 0x3F));
}

}  // namespace

namespace cdb {

Cdb Inquiry(std::uint8_t allocationLength) {
  Cdb command = Command(scsi_op::kInquiry, 6);
  command.bytes[4] = allocationLength;
  return command;
}

Cdb TestUnitReady() { return Command(scsi_op::kTestUnitReady, 6); }

Cdb Read6(std::uint32_t logicalBlock, std::uint8_t blocks) {
  Cdb command = Command(scsi_op::kRead6, 6);
  command.bytes[1] = static_cast<std::uint8_t>((logicalBlock >> 16) & 0x1F);  // LUN bits 0
  StoreBe16(command.bytes + 2, static_cast<std::uint16_t>(logicalBlock));
  command.bytes[4] = blocks;
  return command;
}

Cdb ModeSense6(PageControl control, std::uint8_t pageCode, std::uint8_t allocationLength) {
  constexpr std::uint8_t kDisableBlockDescriptors = 0x08;
  Cdb command = Command(scsi_op::kModeSense6, 6);
  command.bytes[1] = kDisableBlockDescriptors;
  command.bytes[2] = PageByte(control, pageCode);
  command.bytes[4] = allocationLength;
  return command;
}

Cdb ModeSelect6(std::uint8_t parameterListLength) {
  Cdb command = Command(scsi_op::kModeSelect6, 6);
  command.bytes[4] = parameterListLength;
  return command;
}

Cdb FormatUnit() { return Command(scsi_op::kFormatUnit, 6); }

Cdb WriteBuffer10(std::uint8_t mode, std::uint8_t bufferId, std::uint32_t bufferOffset, std::uint32_t length) {
  Cdb command = Command(scsi_op::kWriteBuffer, 10);
  command.bytes[1] = static_cast<std::uint8_t>(mode & 0x1F);
  command.bytes[2] = bufferId;
  StoreBe24(command.bytes + 3, bufferOffset);
  StoreBe24(command.bytes + 6, length);
  return command;
}

Cdb LogSense(PageControl control, std::uint8_t pageCode, std::uint16_t parameterPointer,
             std::uint16_t allocationLength) {
  Cdb command = Command(scsi_op::kLogSense, 10);
  command.bytes[2] = PageByte(control, pageCode);
  StoreBe16(command.bytes + 5, parameterPointer);
  StoreBe16(command.bytes + 7, allocationLength);
  return command;
}

Cdb LogSelect(bool save, PageControl control, std::uint16_t parameterListLength) {
  constexpr std::uint8_t kSaveParameters = 0x01;
  Cdb command = Command(scsi_op::kLogSelect, 10);
  command.bytes[1] = save ? kSaveParameters : 0;
  command.bytes[2] = PageByte(control, 0);
  StoreBe16(command.bytes + 7, parameterListLength);
  return command;
}

Cdb Hhba5100Command(std::uint8_t opcode, std::uint16_t replyLength) {
  Cdb command = Command(scsi_op::kHhba5100Command, 10);
  command.bytes[2] = opcode;
  StoreBe16(command.bytes + 7, replyLength);
  return command;
}

}  // namespace cdb

std::uint32_t CdbTransferLength(const std::uint8_t* cdb, std::uint32_t cdbLength) {
  if (cdb == nullptr || cdbLength == 0) return 0;
  // A field that lies past the CDB's end reads as zero.
  auto at = [&](std::uint32_t i) -> std::uint32_t { return i < cdbLength ? cdb[i] : 0; };
  switch (cdb[0]) {
    case scsi_op::kRead6:
    case scsi_op::kWrite6:
      return at(4) * kBlockSize;  // 0 blocks moves nothing here, not 256
    case scsi_op::kHhba5100Command:
    case scsi_op::kLogSelect:
    case scsi_op::kLogSense:
      return (at(7) << 8) | at(8);
    case scsi_op::kReadCapacity:
      return 8;
    case scsi_op::kRead10:
    case scsi_op::kWrite10:
      return ((at(7) << 8) | at(8)) * kBlockSize;
    case scsi_op::kWriteBuffer:
    case scsi_op::kReadBuffer:
      return (at(6) << 16) | (at(7) << 8) | at(8);
    default:
      return cdbLength == 6 ? at(4) : 0;
  }
}

}  // namespace lumbrel
