// The cages' front-panel indicators, driven over I2C through I2CDLL.dll.
//
// Every operation opens the bus before its traffic and closes it afterwards,
// so the bus is never left open between calls.
#pragma once

#include <cstdint>

#include "lumbrel.h"
#include "panel/cage_tables.h"

namespace lumbrel {

class FrontPanel {
 public:
  // Finds the cages, turns every flash line off and reports each cage's bays
  // into `records` (room for four; may be null) and the cage count into
  // `cageCount` (may be null). 0, or the I2C library's failure cut to 16 bits.
  std::uint32_t InitializeDiags(CageInfo* records, std::uint32_t* cageCount);

  // Makes the power indicator of the bay that holds `target` in the cage
  // `cageId` flash, or stops it. 0, 22 (no such bay), 24 (no such cage), or
  // the I2C library's failure.
  std::uint32_t SetBayFlashing(std::uint8_t target, std::uint8_t cageId, bool flash);

  const CageTable& cageTable() const { return cages_; }
  const CagePortTable& cagePortTable() const { return ports_; }

 private:
  std::uint32_t OpenBus();
  static void CloseBus();
  static std::uint32_t ReadInputs(CageEntry& cage);
  std::uint32_t WritePort(std::uint8_t address, std::uint8_t value);
  std::uint32_t ReleasePorts(CageEntry& cage);
  std::uint32_t Probe();
  // Reads the cage's inputs and gives the CageMapTable row they select.
  static std::uint32_t ReadMap(CageEntry& cage, const std::uint8_t** row);
  // Opens the bus, reads the cage's map and closes the bus again.
  std::uint32_t ReadMapOnce(CageEntry& cage, const std::uint8_t** row);
  CagePortEntry* PortEntryOf(std::uint8_t portAAddress);

  CagePortTable ports_;
  CageTable cages_;
};

}  // namespace lumbrel
