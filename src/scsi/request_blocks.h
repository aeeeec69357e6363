// Filling the request blocks of request_formats.h for one command, and
// reading back what the driver returned in them.
#pragma once

#include <cstdint>

#include "scsi/request_formats.h"

namespace lumbrel {

// Where a command's sense data lies, as GetSenseData reports it.
struct SenseView {
  const std::uint8_t* bytes = nullptr;
  std::uint32_t length = 0;
};

// One command as the adapters hand it to a format. LUN is always 0.
struct ScsiCommand {
  std::uint8_t bus = 0;
  std::uint8_t target = 0;
  const std::uint8_t* cdb = nullptr;
  std::uint32_t cdbLength = 0;  // at most the format's CDB field; the adapters check
  bool dataIn = true;           // input (from the device) or output (to it)
  std::uint32_t dataLength = 0; // CdbTransferLength of the CDB
};

struct ControlLengths {
  std::uint32_t input = 0;
  std::uint32_t output = 0;
};

// A: the block (data area at 160) and the lengths for Control.
ControlLengths FillPassThrough(std::uint8_t* block, const ScsiCommand& command);
std::uint32_t PassThroughStatus(const std::uint8_t* block);
SenseView PassThroughSense(const std::uint8_t* block);

// B: the block (sense area at 64, data area at 96); Control takes 64 bytes
// each way, the data and sense travel through the addresses in the block.
void FillSrb(std::uint8_t* block, const ScsiCommand& command);
std::uint32_t SrbResult(const std::uint8_t* block);
SenseView SrbSense(const std::uint8_t* block);

// C: the block (data area at 96); the length for Transfer, both directions.
std::uint32_t FillMegaRaid(std::uint8_t* block, const ScsiCommand& command, std::uint32_t maxTransfer);
std::uint32_t MegaRaidResult(const std::uint8_t* block);
SenseView MegaRaidSense(const std::uint8_t* block);

// D: the block (data area at 148); the length for Transfer, both directions.
std::uint32_t FillDac960(std::uint8_t* block, const ScsiCommand& command);
std::uint32_t Dac960Result(const std::uint8_t* block);
SenseView Dac960Sense(const std::uint8_t* block);

// D, controller-command form: the block with `data` (at most 4096 bytes)
// copied in when the opcode sends data; the length for Transfer.
std::uint32_t FillDac960Command(std::uint8_t* block, std::uint8_t opcode, std::uint8_t parameter1,
                                std::uint8_t parameter2, const std::uint8_t* data, std::uint32_t dataLength);
std::uint16_t Dac960CommandStatus(const std::uint8_t* block);

}  // namespace lumbrel
