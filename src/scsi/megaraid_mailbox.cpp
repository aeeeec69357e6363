#include "scsi/megaraid_mailbox.h"

#include <cstring>

namespace lumbrel::megaraid_mailbox {

void Fill(std::uint8_t* buffer, std::uint32_t bufferSize, std::uint8_t opcode, const std::uint8_t* parameters) {
  std::memset(buffer, 0, kReplyOffset);
  srb_io_control::Put(buffer, kTimeout, 0, bufferSize - srb_io_control::kSize);
  Put8(buffer, kOpcode, opcode);
  Put8(buffer, kStatus, kStatusPreset);
  if (parameters != nullptr) std::memcpy(buffer + kParameters.offset, parameters, kParameters.size);
}

}  // namespace lumbrel::megaraid_mailbox
