#include "scsi/request_blocks.h"

#include <algorithm>
#include <cstring>

#include "api/result_codes.h"
#include "platform/byte_order.h"
#include "platform/runtime.h"
#include "scsi/cdb.h"

namespace lumbrel {
namespace {

void Put8(std::uint8_t* block, Field field, std::uint8_t value) { block[field.offset] = value; }
void Put16(std::uint8_t* block, Field field, std::uint16_t value) { StoreLe16(block + field.offset, value); }
void Put32(std::uint8_t* block, Field field, std::uint32_t value) { StoreLe32(block + field.offset, value); }
std::uint8_t Get8(const std::uint8_t* block, Field field) { return block[field.offset]; }

// Copies the CDB into its field (the rest of the field stays zero) and its
// length into the length field.
void PutCdb(std::uint8_t* block, Field cdbField, Field lengthField, const ScsiCommand& command) {
  const std::uint32_t n = std::min(command.cdbLength, cdbField.size);
  if (n != 0) std::memcpy(block + cdbField.offset, command.cdb, n);
  Put8(block, lengthField, static_cast<std::uint8_t>(command.cdbLength));
}

// A sense view that never reaches past the sense area of its format,
// whatever length the driver wrote back.
SenseView SenseWithin(const std::uint8_t* block, Field area, std::uint32_t length) {
  return SenseView{block + area.offset, std::min(length, area.size)};
}

void PutSrbIoControl(std::uint8_t* block, std::uint32_t timeout, std::uint32_t controlCode, std::uint32_t length) {
  Put32(block, srb_io_control::kHeaderLength, srb_io_control::kSize);
  Put32(block, srb_io_control::kTimeout, timeout);
  Put32(block, srb_io_control::kControlCode, controlCode);
  Put32(block, srb_io_control::kReturnCode, 0);
  Put32(block, srb_io_control::kLength, length);
}

}  // namespace

ControlLengths FillPassThrough(std::uint8_t* block, const ScsiCommand& command) {
  using namespace pass_through;
  std::memset(block, 0, kHeaderSize);  // the sense area is left as it is
  Put16(block, kLength, kHeaderSize);
  Put8(block, kPathId, command.bus);
  Put8(block, kTargetId, command.target);
  Put8(block, kSenseInfoLength, static_cast<std::uint8_t>(kSenseArea.size));
  Put8(block, kDataIn, command.dataIn ? kDataInValue : kDataOut);
  Put32(block, kDataTransferLength, command.dataLength);
  Put32(block, kTimeOutValue, kTimeOutSeconds);
  Put32(block, kDataBufferOffset, kDataOffset);
  Put32(block, kSenseInfoOffset, kSenseArea.offset);
  PutCdb(block, kCdb, kCdbLength, command);
  if (command.dataIn) return {kHeaderSize, kDataOffset + command.dataLength};
  return {kDataOffset + command.dataLength, kDataOffset};
}

std::uint32_t PassThroughStatus(const std::uint8_t* block) { return Get8(block, pass_through::kScsiStatus); }

SenseView PassThroughSense(const std::uint8_t* block) {
  // FillPassThrough points SenseInfoOffset at the block's sense field; the
  // view stays inside that field whatever the driver wrote back.
  return SenseWithin(block, pass_through::kSenseArea, Get8(block, pass_through::kSenseInfoLength));
}

void FillSrb(std::uint8_t* block, const ScsiCommand& command) {
  using namespace srb;
  std::memset(block, 0, kDataOffset);
  Put16(block, kLength, kBlockSize);
  Put8(block, kFunction, kFunctionExecuteScsi);
  Put8(block, kPathId, command.bus);
  Put8(block, kTargetId, command.target);
  Put8(block, kQueueTag, kUntagged);
  Put8(block, kSenseInfoBufferLength, static_cast<std::uint8_t>(kSenseArea.size));
  Put32(block, kSrbFlags, command.dataIn ? kFlagsIn : kFlagsOut);
  std::uint32_t timeOut = kTimeOutSeconds;
  if (command.dataIn) {
    Put32(block, kDataTransferLength, std::max(command.dataLength, kMinimumInputLength));
    if (command.cdb[0] == scsi_op::kFormatUnit) timeOut = kFormatTimeOutSeconds;
  } else {
    Put32(block, kDataTransferLength, command.dataLength);
    if (command.cdb[0] == scsi_op::kWriteBuffer) timeOut = kWriteBufferTimeOutSeconds;
  }
  Put32(block, kTimeOutValue, timeOut);
  Put32(block, kDataBuffer, platform::ProcessAddress(block + kDataOffset));
  Put32(block, kSenseInfoBuffer, platform::ProcessAddress(block + kSenseArea.offset));
  PutCdb(block, kCdb, kCdbLength, command);
}

std::uint32_t SrbResult(const std::uint8_t* block) {
  const std::uint8_t status = Get8(block, srb::kSrbStatus);
  if (status == srb::kStatusSuccess || status == srb::kStatusDataOverrun) return Get8(block, srb::kScsiStatus);
  if (status == srb::kStatusSelectionTimeout) return kNoDevice;
  return status;
}

SenseView SrbSense(const std::uint8_t* block) {
  // SenseInfoBuffer always designates the block's own sense area (FillSrb
  // puts it there); the address itself is not followed.
  return SenseWithin(block, srb::kSenseArea, Get8(block, srb::kSenseInfoBufferLength));
}

std::uint32_t FillMegaRaid(std::uint8_t* block, const ScsiCommand& command, std::uint32_t maxTransfer) {
  using namespace megaraid;
  std::memset(block, 0, kDataOffset);
  // An input command always asks for the whole data area.
  const std::uint32_t span = command.dataIn ? maxTransfer : command.dataLength;
  PutSrbIoControl(block, kTimeout, command.dataIn ? kControlCodeIn : kControlCodeOut, kLengthBase + span);
  Put8(block, kCommand, kDirectCdb);
  Put8(block, kCommandStatus, kStatusPreset);
  std::uint8_t control = kControlDefault;
  if (command.dataIn && command.cdb[0] == scsi_op::kFormatUnit) control = kControlFormat;
  if (!command.dataIn && command.cdb[0] == scsi_op::kWriteBuffer) control = kControlWriteBuffer;
  Put8(block, kControl, control);
  Put8(block, kChannel, command.bus);
  Put8(block, kTarget, command.target);
  PutCdb(block, kCdb, kCdbLength, command);
  Put8(block, kRequestSenseLength, static_cast<std::uint8_t>(kSenseArea.size));
  Put32(block, kDataAddress, platform::ProcessAddress(block + kDataOffset));
  Put32(block, kDataLength, command.dataLength);
  return kDataOffset + span;
}

std::uint32_t MegaRaidResult(const std::uint8_t* block) {
  const std::uint8_t status = Get8(block, megaraid::kCommandStatus);
  return status == megaraid::kStatusNoDevice ? kNoDevice : status;
}

SenseView MegaRaidSense(const std::uint8_t* block) {
  return SenseWithin(block, megaraid::kSenseArea, Get8(block, megaraid::kRequestSenseLength));
}

std::uint32_t FillDac960(std::uint8_t* block, const ScsiCommand& command) {
  using namespace dac960;
  std::memset(block, 0, kDataOffset);
  PutSrbIoControl(block, kTimeout, 0, kLengthBase + command.dataLength);
  Put8(block, kCommand, kDirectCdb);
  Put8(block, kDevice, static_cast<std::uint8_t>(((command.bus & 0x0F) << 4) | (command.target & 0x0F)));
  Put8(block, kControl, command.dataIn ? kControlIn : kControlOut);
  Put16(block, kTransferLength, static_cast<std::uint16_t>(command.dataLength));
  Put32(block, kDataAddress, platform::ProcessAddress(block + kDataOffset));
  PutCdb(block, kCdb, kCdbLength, command);
  Put8(block, kSenseLength, static_cast<std::uint8_t>(kSenseArea.size));
  return kDataOffset + command.dataLength;
}

std::uint32_t Dac960Result(const std::uint8_t* block) {
  const std::uint16_t status = LoadLe16(block + dac960::kControllerStatus.offset);
  if (status == dac960::kStatusNoDevice || status == dac960::kStatusSelectionTimeout) return kNoDevice;
  return status;
}

SenseView Dac960Sense(const std::uint8_t* block) {
  return SenseWithin(block, dac960::kSenseArea, Get8(block, dac960::kSenseLength));
}

std::uint32_t FillDac960Command(std::uint8_t* block, std::uint8_t opcode, std::uint8_t parameter1,
                                std::uint8_t parameter2, const std::uint8_t* data, std::uint32_t dataLength) {
  using namespace dac960::command;
  dataLength = std::min(dataLength, kMaxData);
  std::memset(block, 0, kDataOffset + dataLength);
  PutSrbIoControl(block, kTimeout, 0, kLengthBase + dataLength);
  Put8(block, kOpcode, opcode);
  Put8(block, kParameter1, parameter1);
  Put8(block, kParameter1Again, parameter1);
  Put8(block, kParameter2, parameter2);
  Put8(block, kZero, 0);
  if (opcode == kOpcodeSendsData && data != nullptr && dataLength != 0) {
    std::memcpy(block + kDataOffset, data, dataLength);
  }
  return kDataOffset + dataLength;
}

std::uint16_t Dac960CommandStatus(const std::uint8_t* block) {
  return LoadLe16(block + dac960::command::kControllerStatus.offset);
}

}  // namespace lumbrel
