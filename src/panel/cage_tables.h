// The hot-swap cages on the I2C bus: their port addresses, the bytes last
// read from and written to them, and the map from strap lines to the SCSI
// target ids of their bays.
//
// A cage at position n (0..3) has port A (output: one flash line per bay) at
// address 0x3F - n and port B (input: one drive line per bay, two strap
// lines, bit 7) at 0x27 - n. A cage is named by its port B address.
#pragma once

#include <cstdint>

namespace lumbrel {

inline constexpr int kCagePositions = 4;
inline constexpr int kBaysPerCage = 3;

// Port bits: bay 1, 2, 3 use bits 2, 1, 0 of both ports. On port A a 0 makes
// the bay's power indicator flash; on port B a 0 says a drive is present.
inline constexpr std::uint8_t kBayMask[kBaysPerCage] = {0x04, 0x02, 0x01};
inline constexpr std::uint8_t kPortBReleaseAll = 0x80;  // port B bit 7: release the port as a whole
inline constexpr std::uint8_t kDriveLines = 0x0F;

struct CagePortEntry {
  std::uint8_t portA;
  std::uint8_t portB;
  std::uint8_t outputA;  // last byte written to port A, as the I2C library holds it
  std::uint8_t outputB;
};

// CagePortTable: one entry per position, in position order.
struct CagePortTable {
  CagePortEntry entries[kCagePositions] = {
      {0x3F, 0x27, 0xFF, 0xFF},
      {0x3E, 0x26, 0xFF, 0xFF},
      {0x3D, 0x25, 0xFF, 0xFF},
      {0x3C, 0x24, 0xFF, 0xFF},
  };
};

struct CageEntry {
  std::uint8_t portA;
  std::uint8_t portB;
  std::uint8_t inputA;  // bytes last read from the ports
  std::uint8_t inputB;
  std::uint8_t bayTargets[kBaysPerCage];
};

// CageTable: the cages found by the last probe, in the order found.
struct CageTable {
  CageEntry cages[kCagePositions] = {};
  std::uint32_t cageCount = 0;
};

// CageMapTable: the target ids of bays 1, 2, 3, by strap lines and address.
inline constexpr std::uint8_t CageMapTable[8][kBaysPerCage] = {
    {12, 8, 14}, {9, 8, 11}, {4, 0, 6}, {1, 0, 3}, {12, 13, 14}, {9, 10, 11}, {4, 5, 6}, {1, 2, 3},
};

// The CageMapTable row of a cage: 4 x strap bit 5 + 2 x strap bit 4 + bit 0
// of the port B address.
inline int CageMapRow(std::uint8_t portBInput, std::uint8_t portBAddress) {
  return ((portBInput >> 3) & 6) | (portBAddress & 1);
}

}  // namespace lumbrel
