#include "scsi/megaraid_direct_cdb.h"

#include "platform/runtime.h"
#include "result_codes.h"
#include "scsi/scsi_commands.h"

namespace lumbrel::megaraid_direct_cdb {

std::uint32_t Fill(std::uint8_t* block, const CommandRequest& command, std::uint32_t maxTransfer) {
  std::memset(block, 0, kDataOffset);
  const std::uint32_t span = command.dataIn ? maxTransfer : command.dataLength;
  srb_io_control::Put(block, kTimeout, command.dataIn ? kControlCodeIn : kControlCodeOut, kLengthBase + span);
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

std::uint32_t Result(const std::uint8_t* block) {
  const std::uint8_t status = Get8(block, kCommandStatus);
  return status == kStatusNoDevice ? kNoDevice : status;
}

SenseView Sense(const std::uint8_t* block) { return SenseWithin(block, kSenseArea, Get8(block, kRequestSenseLength)); }

}  // namespace lumbrel::megaraid_direct_cdb
