// The volumes of a machine file and the disk configuration record that
// Windows keeps of them in the registry.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lumbrel::sim {

struct VolumeConfig {
  char letter = 'C';                            // upper case
  std::uint32_t type = 3;                       // what GetDriveTypeA answers (DRIVE_FIXED)
  std::vector<std::uint32_t> extents;           // physical drive numbers, in extent order
  std::optional<std::array<std::uint8_t, 3>> scsiAddress;  // port, bus, target; absent: the query fails
  bool extentsFail = false;                     // the extents query fails with ERROR_INVALID_FUNCTION
  // Raw replies, cut to the output length, for drivers that answer with
  // malformed data; absent: built from `extents` and `scsiAddress`.
  std::optional<std::vector<std::uint8_t>> extentsReply;
  std::optional<std::vector<std::uint8_t>> scsiAddressReply;
  bool readOnly = false;                        // opening a file for writing fails with ERROR_WRITE_PROTECT
  bool full = false;                            // writing data fails with ERROR_DISK_FULL
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files;  // name in the root, contents
};

// HKLM\SYSTEM\DISK "Information": built from the volumes, given as bytes,
// or absent (no key).
struct DiskInformationConfig {
  enum class Source { Derived, Given, None };
  Source source = Source::Derived;
  std::vector<std::uint8_t> value;  // Given
};

}  // namespace lumbrel::sim
