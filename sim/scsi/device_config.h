// What a machine file says about one SCSI device on a bus (LUN 0).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumbrel::sim {

struct DeviceConfig {
  static constexpr std::uint32_t kDefaultBlocks = 8388608;  // 4 GiB of 512-byte blocks

  std::uint32_t target = 0;     // 0 to 15
  std::uint32_t type = 0;       // peripheral device type (0 disk, 5 CD-ROM, 6 scanner, ...)
  std::uint32_t qualifier = 0;  // peripheral qualifier
  // INQUIRY text fields as raw bytes (a drive may put any byte there).
  std::string vendor;    // at most 8 bytes
  std::string product;   // at most 16 bytes
  std::string revision;  // at most 4 bytes
  std::string serial;    // the bytes from INQUIRY offset 36
  std::optional<bool> removable;              // absent: CD-ROM and optical devices are removable
  std::optional<std::vector<std::uint8_t>> inquiry;  // the whole INQUIRY data; overrides the fields above
  bool ready = true;                          // false: NOT READY until a START UNIT
  std::uint32_t blocks = kDefaultBlocks;      // capacity in 512-byte blocks
  // Class-driver devices that Windows created for the device: the N of
  // "\\.\PhysicalDriveN", "\\.\ScannerN", "\\.\CdRomN".
  std::optional<std::uint32_t> physicalDrive;
  std::optional<std::uint32_t> scanner;
  std::optional<std::uint32_t> cdRom;

  bool claimed() const { return physicalDrive || scanner || cdRom; }
};

}  // namespace lumbrel::sim
