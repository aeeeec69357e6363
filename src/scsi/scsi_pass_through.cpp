#include "scsi/scsi_pass_through.h"

namespace lumbrel::scsi_pass_through {

ControlLengths Fill(std::uint8_t* block, const CommandRequest& command) {
  std::memset(block, 0, kStructureSize);
  Put16(block, kLength, kStructureSize);
  Put8(block, kPathId, command.bus);
  Put8(block, kTargetId, command.target);
  Put8(block, kSenseInfoLength, static_cast<std::uint8_t>(kSenseArea.size));
  Put8(block, kDataIn, command.dataIn ? kDataInValue : kDataOut);
  Put32(block, kDataTransferLength, command.dataLength);
  Put32(block, kTimeOutValue, kTimeOutSeconds);
  Put32(block, kDataBufferOffset, kDataOffset);
  Put32(block, kSenseInfoOffset, kSenseArea.offset);
  PutCdb(block, kCdb, kCdbLength, command);
  if (command.dataIn) return {kStructureSize, kDataOffset + command.dataLength};
  return {kDataOffset + command.dataLength, kDataOffset};
}

std::uint32_t Status(const std::uint8_t* block) { return Get8(block, kScsiStatus); }

SenseView Sense(const std::uint8_t* block) {
  // Fill points SenseInfoOffset at the block's own sense field; the view
  // stays inside that field whatever the driver wrote back.
  return SenseWithin(block, kSenseArea, Get8(block, kSenseInfoLength));
}

}  // namespace lumbrel::scsi_pass_through
