#include "panel/front_panel.h"

#include "result_codes.h"
#include "platform/i2c_library.h"

namespace lumbrel {
namespace {

// The 1-based position of `target` in a CageMapTable row; 0 when absent.
int BayOf(const std::uint8_t* row, std::uint8_t target) {
  for (int bay = 0; bay < kBaysPerCage; ++bay) {
    if (row[bay] == target) return bay + 1;
  }
  return 0;
}

std::uint32_t Low16(std::uint32_t code) { return code & 0xFFFF; }

}  // namespace

std::uint32_t FrontPanel::OpenBus() {
  if (const std::uint32_t r = I2C_OpenDevice(); r != 0) return r;
  for (CagePortEntry& entry : ports_.entries) {
    std::uint32_t r = I2C_GetOutputShadow(entry.portB, &entry.outputB);
    if (r == 0) r = I2C_GetOutputShadow(entry.portA, &entry.outputA);
    if (r != 0) {
      CloseBus();
      return r;
    }
  }
  return 0;
}

void FrontPanel::CloseBus() { I2C_CloseDevice(); }

std::uint32_t FrontPanel::ReadInputs(CageEntry& cage) {
  std::uint32_t r = I2C_ReceiveMessage(cage.portB, &cage.inputB, 1);
  if (r == 0) r = I2C_ReceiveMessage(cage.portA, &cage.inputA, 1);
  return r;
}

CagePortEntry* FrontPanel::PortEntryOf(std::uint8_t address) {
  for (CagePortEntry& entry : ports_.entries) {
    if (entry.portA == address || entry.portB == address) return &entry;
  }
  return nullptr;
}

std::uint32_t FrontPanel::WritePort(std::uint8_t address, std::uint8_t value) {
  const std::uint8_t byte = value;
  const std::uint32_t status = I2C_SendMessage(address, &byte, 1) & 0xFF;
  if (status == 0) {
    if (CagePortEntry* entry = PortEntryOf(address)) {
      (entry->portA == address ? entry->outputA : entry->outputB) = value;
    }
  }
  return status;
}

std::uint32_t FrontPanel::ReleasePorts(CageEntry& cage) {
  std::uint32_t r = ReadInputs(cage);
  if (r != 0) return r;
  const std::uint8_t portB =
      (cage.inputB & kPortBReleaseAll) != 0 ? 0xFF : static_cast<std::uint8_t>(cage.inputB | kDriveLines);
  r = WritePort(cage.portB, portB);
  if (r == 0) r = WritePort(cage.portA, 0xFF);  // every flash line of the cage off
  return r;
}

std::uint32_t FrontPanel::Probe() {
  std::uint32_t found = 0;
  for (const CagePortEntry& position : ports_.entries) {
    CageEntry& cage = cages_.cages[found];
    cage.portA = position.portA;
    cage.portB = position.portB;
    if (ReadInputs(cage) == 0 && ReleasePorts(cage) == 0 && ReadInputs(cage) == 0) ++found;
  }
  return found;
}

std::uint32_t FrontPanel::ReadMap(CageEntry& cage, const std::uint8_t** row) {
  const std::uint32_t r = ReadInputs(cage);
  if (r == 0) *row = CageMapTable[CageMapRow(cage.inputB, cage.portB)];
  return r;
}

std::uint32_t FrontPanel::ReadMapOnce(CageEntry& cage, const std::uint8_t** row) {
  if (const std::uint32_t r = OpenBus(); r != 0) return r;
  const std::uint32_t r = ReadMap(cage, row);
  CloseBus();
  return r;
}

std::uint32_t FrontPanel::InitializeDiags(CageInfo* records, std::uint32_t* cageCount) {
  if (const std::uint32_t r = OpenBus(); r != 0) return Low16(r);
  cages_.cageCount = Probe();
  CloseBus();
  if (cages_.cageCount == 0) {
    // No cage answered (kNoCage): a machine without cages is not a failure.
    if (cageCount != nullptr) *cageCount = 0;
    return kSuccess;
  }

  for (std::uint32_t i = 0; i < cages_.cageCount; ++i) {
    CageEntry& cage = cages_.cages[i];
    const std::uint8_t* row = nullptr;
    if (const std::uint32_t r = ReadMapOnce(cage, &row); r != 0) return Low16(r);
    for (int bay = 0; bay < kBaysPerCage; ++bay) cage.bayTargets[bay] = row[bay];
  }

  if (records != nullptr) {
    for (std::uint32_t i = 0; i < cages_.cageCount; ++i) {
      CageEntry& cage = cages_.cages[i];
      CageInfo& record = records[i];
      const std::uint8_t* row = nullptr;
      if (ReadMapOnce(cage, &row) != 0) {
        record.bayCount = 0;
        continue;
      }
      record.cageId = cage.portB;
      for (int bay = 0; bay < kBaysPerCage; ++bay) {
        record.bays[bay].targetId = cage.bayTargets[bay];
        record.bays[bay].present = (cage.inputB & kBayMask[bay]) == 0 ? 1 : 0;
        record.bays[bay].bayNumber = static_cast<std::uint16_t>(BayOf(row, cage.bayTargets[bay]));
      }
      record.bayCount = kBaysPerCage;
    }
  }
  if (cageCount != nullptr) *cageCount = cages_.cageCount;
  return kSuccess;
}

std::uint32_t FrontPanel::SetBayFlashing(std::uint8_t target, std::uint8_t cageId, bool flash) {
  CageEntry* cage = nullptr;
  for (std::uint32_t i = 0; i < cages_.cageCount && cage == nullptr; ++i) {
    if (cages_.cages[i].portB == cageId) cage = &cages_.cages[i];
  }
  if (cage == nullptr) return kCageNotFound;

  const std::uint8_t* row = nullptr;
  if (const std::uint32_t r = ReadMapOnce(*cage, &row); r != 0) return r;
  const int bay = BayOf(row, target);
  if (bay == 0) return kTargetNotInCage;

  if (const std::uint32_t r = OpenBus(); r != 0) return r;
  // The output byte was just refreshed from the library: other bays keep their state.
  const CagePortEntry* entry = PortEntryOf(cage->portA);
  const std::uint8_t output = entry != nullptr ? entry->outputA : 0xFF;
  const std::uint8_t mask = kBayMask[bay - 1];
  const auto value = static_cast<std::uint8_t>(flash ? (output & ~mask) : (output | mask));
  const std::uint32_t status = WritePort(cage->portA, value);
  CloseBus();
  return status;
}

}  // namespace lumbrel
