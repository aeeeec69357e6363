// What a machine file says about one SCSI device on a bus (LUN 0).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumbrel::sim {

// What a drive does with WRITE BUFFER: the firmware download it takes.
struct FirmwareConfig {
  static constexpr std::uint32_t kLargestImage = 0x1000000;  // what a 24-bit buffer offset reaches

  std::vector<std::uint8_t> modes = {5, 7};  // the download modes accepted
  std::uint32_t maxLength = kLargestImage;   // the longest image taken, in bytes
  std::optional<std::string> revisionAfter;  // the INQUIRY revision after the restart; absent: unchanged
};

struct DeviceConfig {
  static constexpr std::uint32_t kDefaultBlocks = 8388608;  // 4 GiB of 512-byte blocks
  static constexpr std::uint32_t kLogPage32Size = 600;      // three parameters of 200 bytes
  static constexpr std::uint8_t kLogPage32 = 0x32;

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
  std::uint32_t notReady = 0;         // the first N TEST UNIT READY and reads answer NOT READY 04/01
  std::uint32_t restartNotReady = 0;  // the same, after the restart that ends a firmware download
  std::optional<std::vector<std::uint8_t>> modePage0;  // page code byte first; absent: no mode page 0
  // The raw reply to every MODE SENSE, cut to the allocation length, for
  // drives whose mode data is malformed; absent: built from the page.
  std::optional<std::vector<std::uint8_t>> modeSenseReply;
  bool rejectModeSelect = false;
  bool allUnreadable = false;             // every read ends with MEDIUM ERROR 11/00
  std::vector<std::uint32_t> unreadable;  // the blocks whose reads do
  std::uint32_t formatSeconds = 0;        // the virtual time a FORMAT UNIT runs
  std::optional<FirmwareConfig> firmware;             // absent: WRITE BUFFER is ILLEGAL REQUEST
  std::optional<std::vector<std::uint8_t>> logPages;  // the supported pages; absent: no LOG SENSE / LOG SELECT
  std::vector<std::uint8_t> logPage32 = std::vector<std::uint8_t>(kLogPage32Size, 0);
  // The raw reply to every LOG SENSE, cut to the allocation length, for
  // drives that answer with malformed pages; absent: built from the above.
  std::optional<std::vector<std::uint8_t>> logSenseReply;
  std::uint32_t latencyMs = 0;  // the virtual time every command takes
  // Class-driver devices that Windows created for the device: the N of
  // "\\.\PhysicalDriveN", "\\.\ScannerN", "\\.\CdRomN".
  std::optional<std::uint32_t> physicalDrive;
  std::optional<std::uint32_t> scanner;
  std::optional<std::uint32_t> cdRom;

  // A real SCSI device (a Linux device node) that answers every command in
  // the drive's place; absent: the drive answers from this description.
  std::optional<std::string> sg;

  bool claimed() const { return physicalDrive || scanner || cdRom; }
};

}  // namespace lumbrel::sim
