// The I2C side of the hot-swap cages, and the bus that reaches them.
//
// Each cage carries two quasi-bidirectional 8-bit I/O expanders. Writing a
// port sets its latch; reading it returns the pin levels, which are the latch
// wired-AND with whatever pulls the lines low from outside. Port A's latch
// drives the three flash lines (0 = flashing); nothing outside pulls them.
// Port B reads the three drive-present lines (an occupied bay pulls its line
// to 0), the two strap lines (bits 4 and 5), bit 7 as the cage is wired, and
// bits 3 and 6, which float high.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace lumbrel::sim {

// Failure codes of the simulated I2C library.
inline constexpr std::uint32_t kI2cBusNotOpen = 0x0101;     // transfer or close without I2C_OpenDevice
inline constexpr std::uint32_t kI2cNoAcknowledge = 0x0102;  // no device answered at the address
inline constexpr std::uint32_t kI2cBadRequest = 0x0103;     // null buffer or a count of 0
inline constexpr std::uint32_t kI2cAlreadyOpen = 0x0104;    // I2C_OpenDevice while the bus is open

struct CageWiring {
  int position = 0;  // 0..3: port A at 0x3F - position, port B at 0x27 - position
  bool strap4 = false;
  bool strap5 = false;
  bool bit7 = false;
  std::array<bool, 3> occupied{};  // bays 1, 2, 3
};

class CageBoard {
 public:
  explicit CageBoard(const CageWiring& wiring) : wiring_(wiring) {}

  const CageWiring& wiring() const { return wiring_; }
  std::uint8_t portAAddress() const { return static_cast<std::uint8_t>(0x3F - wiring_.position); }
  std::uint8_t portBAddress() const { return static_cast<std::uint8_t>(0x27 - wiring_.position); }

  std::uint8_t latchA() const { return latchA_; }
  std::uint8_t latchB() const { return latchB_; }
  std::uint8_t ReadA() const { return latchA_; }
  std::uint8_t ReadB() const { return static_cast<std::uint8_t>(latchB_ & ExternalB()); }
  void WriteA(std::uint8_t value) { latchA_ = value; }
  void WriteB(std::uint8_t value) { latchB_ = value; }

  // Bay 1..3: whether its power indicator flashes (its port A line is low).
  bool PowerLedFlashing(int bay) const { return (latchA_ & BayMask(bay)) == 0; }
  bool Occupied(int bay) const { return wiring_.occupied[static_cast<std::size_t>(bay - 1)]; }
  void SetOccupied(int bay, bool occupied) { wiring_.occupied[static_cast<std::size_t>(bay - 1)] = occupied; }

  static std::uint8_t BayMask(int bay) { return static_cast<std::uint8_t>(0x04 >> (bay - 1)); }

 private:
  // The levels that the world outside the expander applies to port B's pins.
  std::uint8_t ExternalB() const;

  CageWiring wiring_;
  std::uint8_t latchA_ = 0xFF;  // expanders power up with every line released
  std::uint8_t latchB_ = 0xFF;
};

// What I2CDLL.dll offers, over the cages that answer on the bus. The output
// shadow of an address is the byte last written to it: the latch of a port
// that exists, 0xFF for an address where nothing answers.
class I2cBus {
 public:
  explicit I2cBus(std::vector<CageBoard> cages = {}) : cages_(std::move(cages)) {}

  std::uint32_t Open();
  std::uint32_t Close();
  std::uint32_t GetOutputShadow(std::uint32_t address, std::uint8_t* output) const;
  std::uint32_t Receive(std::uint32_t address, std::uint8_t* buffer, std::uint32_t count);
  std::uint32_t Send(std::uint32_t address, const std::uint8_t* buffer, std::uint32_t count);

  bool isOpen() const { return open_; }
  const std::vector<CageBoard>& cages() const { return cages_; }
  std::vector<CageBoard>& cages() { return cages_; }
  CageBoard* CageAt(int position);

 private:
  // The cage that owns a port address and whether it is port A.
  CageBoard* Find(std::uint32_t address, bool* isPortA);
  const CageBoard* Find(std::uint32_t address, bool* isPortA) const;

  std::vector<CageBoard> cages_;
  bool open_ = false;
};

}  // namespace lumbrel::sim
