// One SCSI command as an adapter hands it to the request block of its
// driver family, and what the request blocks have in common.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "scsi/field.h"

namespace lumbrel {

// Where a command's sense data lies, as GetSenseData reports it.
struct SenseView {
  const std::uint8_t* bytes = nullptr;
  std::uint32_t length = 0;
};

// One command. LUN is always 0.
struct CommandRequest {
  std::uint8_t bus = 0;
  std::uint8_t target = 0;
  const std::uint8_t* cdb = nullptr;
  std::uint32_t cdbLength = 0;   // at most the block's CDB field; the adapters check
  bool dataIn = true;            // input (from the device) or output (to it)
  std::uint32_t dataLength = 0;  // CdbTransferLength of the CDB
};

// The lengths of one DeviceIoControl: the block in, the block out.
struct ControlLengths {
  std::uint32_t input = 0;
  std::uint32_t output = 0;
};

// Copies the CDB into its field (the rest of the field stays zero) and its
// length into the length field.
inline void PutCdb(std::uint8_t* block, Field cdbField, Field lengthField, const CommandRequest& command) {
  const std::uint32_t n = std::min(command.cdbLength, cdbField.size);
  if (n != 0) std::memcpy(block + cdbField.offset, command.cdb, n);
  Put8(block, lengthField, static_cast<std::uint8_t>(command.cdbLength));
}

// A sense view that never reaches past the sense area of its block,
// whatever length the driver wrote back.
inline SenseView SenseWithin(const std::uint8_t* block, Field area, std::uint32_t length) {
  return SenseView{block + area.offset, std::min(length, area.size)};
}

// The bytes that every transfer buffer keeps in front of its largest
// transfer: room for the request block of every family. A transfer buffer
// is maxTransfer + kTransferBufferExtra bytes.
inline constexpr std::uint32_t kTransferBufferExtra = 160;

}  // namespace lumbrel
