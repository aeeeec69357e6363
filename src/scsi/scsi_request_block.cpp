#include "scsi/scsi_request_block.h"

#include "platform/runtime.h"
#include "result_codes.h"
#include "scsi/scsi_commands.h"

namespace lumbrel::scsi_request_block {

void Fill(std::uint8_t* block, const CommandRequest& command) {
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

std::uint32_t Result(const std::uint8_t* block) {
  const std::uint8_t status = Get8(block, kSrbStatus);
  if (status == kStatusSuccess || status == kStatusDataOverrun) return Get8(block, kScsiStatus);
  if (status == kStatusSelectionTimeout) return kNoDevice;
  return status;
}

SenseView Sense(const std::uint8_t* block) {
  // SenseInfoBuffer always designates the block's own sense area (Fill puts
  // it there); the address itself is not followed.
  return SenseWithin(block, kSenseArea, Get8(block, kSenseInfoBufferLength));
}

}  // namespace lumbrel::scsi_request_block
