#include "sim/cage_board.h"

namespace lumbrel::sim {

std::uint8_t CageBoard::ExternalB() const {
  std::uint8_t levels = 0x48;  // bits 3 and 6 float high
  if (wiring_.bit7) levels |= 0x80;
  if (wiring_.strap5) levels |= 0x20;
  if (wiring_.strap4) levels |= 0x10;
  for (int bay = 1; bay <= 3; ++bay) {
    if (!Occupied(bay)) levels |= BayMask(bay);  // an occupied bay pulls its line low
  }
  return levels;
}

CageBoard* I2cBus::CageAt(int position) {
  for (CageBoard& cage : cages_) {
    if (cage.wiring().position == position) return &cage;
  }
  return nullptr;
}

const CageBoard* I2cBus::Find(std::uint32_t address, bool* isPortA) const {
  for (const CageBoard& cage : cages_) {
    if (address == cage.portAAddress() || address == cage.portBAddress()) {
      *isPortA = address == cage.portAAddress();
      return &cage;
    }
  }
  return nullptr;
}

CageBoard* I2cBus::Find(std::uint32_t address, bool* isPortA) {
  return const_cast<CageBoard*>(static_cast<const I2cBus*>(this)->Find(address, isPortA));
}

std::uint32_t I2cBus::Open() {
  if (open_) return kI2cAlreadyOpen;
  open_ = true;
  return 0;
}

std::uint32_t I2cBus::Close() {
  if (!open_) return kI2cBusNotOpen;
  open_ = false;
  return 0;
}

std::uint32_t I2cBus::GetOutputShadow(std::uint32_t address, std::uint8_t* output) const {
  if (!open_) return kI2cBusNotOpen;
  if (output == nullptr) return kI2cBadRequest;
  bool isPortA = false;
  const CageBoard* cage = Find(address, &isPortA);
  *output = cage == nullptr ? 0xFF : (isPortA ? cage->latchA() : cage->latchB());
  return 0;
}

std::uint32_t I2cBus::Receive(std::uint32_t address, std::uint8_t* buffer, std::uint32_t count) {
  if (!open_) return kI2cBusNotOpen;
  if (buffer == nullptr || count == 0) return kI2cBadRequest;
  bool isPortA = false;
  const CageBoard* cage = Find(address, &isPortA);
  if (cage == nullptr) return kI2cNoAcknowledge;
  // An expander answers every byte of a read with its pin levels.
  for (std::uint32_t i = 0; i < count; ++i) buffer[i] = isPortA ? cage->ReadA() : cage->ReadB();
  return 0;
}

std::uint32_t I2cBus::Send(std::uint32_t address, const std::uint8_t* buffer, std::uint32_t count) {
  if (!open_) return kI2cBusNotOpen;
  if (buffer == nullptr || count == 0) return kI2cBadRequest;
  bool isPortA = false;
  CageBoard* cage = Find(address, &isPortA);
  if (cage == nullptr) return kI2cNoAcknowledge;
  // Each byte written replaces the latch; the last one stays.
  for (std::uint32_t i = 0; i < count; ++i) {
    if (isPortA) {
      cage->WriteA(buffer[i]);
    } else {
      cage->WriteB(buffer[i]);
    }
  }
  return 0;
}

}  // namespace lumbrel::sim
