#include "scsi/dac960_direct_cdb.h"

#include "platform/runtime.h"
#include "result_codes.h"

namespace lumbrel {

namespace dac960_direct_cdb {

std::uint32_t Fill(std::uint8_t* block, const CommandRequest& command) {
  std::memset(block, 0, kDataOffset);
  srb_io_control::Put(block, kTimeout, 0, kLengthBase + command.dataLength);
  Put8(block, kCommand, kDirectCdb);
  Put8(block, kDevice, static_cast<std::uint8_t>(((command.bus & 0x0F) << 4) | (command.target & 0x0F)));
  Put8(block, kControl, command.dataIn ? kControlIn : kControlOut);
  Put16(block, kTransferLength, static_cast<std::uint16_t>(command.dataLength));
  Put32(block, kDataAddress, platform::ProcessAddress(block + kDataOffset));
  PutCdb(block, kCdb, kCdbLength, command);
  Put8(block, kSenseLength, static_cast<std::uint8_t>(kSenseArea.size));
  return kDataOffset + command.dataLength;
}

std::uint32_t Result(const std::uint8_t* block) {
  const std::uint16_t status = Get16(block, kControllerStatus);
  if (status == kStatusNoDevice || status == kStatusSelectionTimeout) return kNoDevice;
  return status;
}

SenseView Sense(const std::uint8_t* block) { return SenseWithin(block, kSenseArea, Get8(block, kSenseLength)); }

}  // namespace dac960_direct_cdb

namespace dac960_controller_command {

std::uint32_t Fill(std::uint8_t* block, std::uint8_t opcode, std::uint8_t parameter1, std::uint8_t parameter2,
                   const std::uint8_t* data, std::uint32_t dataLength) {
  dataLength = std::min(dataLength, kMaxData);
  std::memset(block, 0, kDataOffset + dataLength);
  srb_io_control::Put(block, kTimeout, 0, kLengthBase + dataLength);
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

std::uint16_t Status(const std::uint8_t* block) { return Get16(block, kControllerStatus); }

}  // namespace dac960_controller_command

}  // namespace lumbrel
