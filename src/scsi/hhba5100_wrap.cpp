#include "scsi/hhba5100_wrap.h"

#include <algorithm>
#include <cstring>

namespace lumbrel {

// Searched in this order; each operation code appears once.
const OpcodeLayout OpcodeMapTable[kOpcodeMapRows] = {
    {0x04, 0x00}, {0x12, 0x00}, {0x4C, 0x1A}, {0x4D, 0x1B}, {0x15, 0x00}, {0x55, 0x1A}, {0x1A, 0x00},
    {0x5A, 0x1A}, {0x1E, 0x00}, {0x08, 0x00}, {0x28, 0x02}, {0x3C, 0x1C}, {0x25, 0x1A}, {0x37, 0x1A},
    {0x3E, 0x03}, {0x07, 0x00}, {0x1C, 0x00}, {0x03, 0x00}, {0xA0, 0x00}, {0x01, 0x00}, {0x0B, 0x00},
    {0x2B, 0x02}, {0x1D, 0x00}, {0x1B, 0x00}, {0x00, 0x00}, {0x2F, 0x02}, {0x0A, 0x00}, {0x2A, 0x02},
    {0x2E, 0x02}, {0x3B, 0x1C}, {0x3F, 0x03}, {0x41, 0x02}, {0x20, 0xFF}, {0x21, 0xFF},
};

constexpr std::uint8_t X = kDropped;
const CdbLayout CdbLayoutTable[kCdbLayoutRows] = {
    {0x00, {2, 1, 4, 5, 8, 9, X, X, X, X}},
    {0x1A, {2, 1, 4, 5, X, X, X, 7, 8, 9}},
    {0x1B, {2, 1, 4, X, X, 5, 6, 7, 8, 9}},
    {0x1C, {2, 1, 4, 5, 6, X, X, 7, 8, 9}},
    {0x02, {2, 1, 4, 5, 6, 7, X, X, 8, 9}},
    {0x03, {2, 1, X, 4, 5, 6, X, 7, 8, 9}},
    {kCopyUnchanged, {}},
};

bool WrapCdb(const std::uint8_t* cdb, std::uint32_t cdbLength, std::uint8_t out[kWrappedCdbLength], std::uint8_t bus,
             std::uint8_t target) {
  std::memset(out, 0, kWrappedCdbLength);
  if (cdb == nullptr || cdbLength == 0) return false;
  // The layouts read ten bytes of the caller's CDB whatever its length; a
  // shorter CDB is padded with zeros rather than read past its end.
  std::uint8_t source[kWrappedCdbLength] = {};
  std::memcpy(source, cdb, std::min<std::uint32_t>(cdbLength, kWrappedCdbLength));

  const OpcodeLayout* mapped = nullptr;
  for (const OpcodeLayout& row : OpcodeMapTable) {
    if (row.opcode == source[0]) {
      mapped = &row;
      break;
    }
  }
  if (mapped == nullptr) return false;
  const CdbLayout* layout = nullptr;
  for (const CdbLayout& row : CdbLayoutTable) {
    if (row.layoutId == mapped->layoutId) {
      layout = &row;
      break;
    }
  }
  if (layout == nullptr) return false;

  if (layout->layoutId == kCopyUnchanged) {
    std::memcpy(out, source, kWrappedCdbLength);
    return true;
  }
  for (std::uint32_t i = 0; i < kWrappedCdbLength; ++i) {
    const std::uint8_t position = layout->position[i];
    if (position < kWrappedCdbLength) out[position] = source[i];
  }
  out[0] = kWrappedOpcode;
  out[1] &= 0x1F;  // the old LUN bits
  out[3] = static_cast<std::uint8_t>((bus << 4) | (target & 0x0F));
  return true;
}

}  // namespace lumbrel
