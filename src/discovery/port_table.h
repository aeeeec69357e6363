// The SCSI ports that Windows records in the registry, read once into the
// process-wide port table and classified by their drivers.
//
// Windows keeps one key "HARDWARE\DEVICEMAP\Scsi\Scsi Port N" per port, with
// the driver's name in "Driver" and one subkey per bus. The port number N is
// the adapter number used everywhere else in the library.
#pragma once

#include <cstdint>

#include "discovery/driver_table.h"

namespace lumbrel {

struct PortEntry {
  std::uint32_t classCode = AdapterClassBase;
  std::uint32_t busCount = 0;
  const DriverRow* driverRow = nullptr;  // null when no row matched
  char* savedDriverName = nullptr;       // the registry's name when no row matched; owned
};

struct PortDescription {
  std::uint32_t classCode;
  char driverName[80];
  char vendorName[20];
};

class PortTable {
 public:
  static constexpr std::uint32_t kCapacity = 10;        // ports beyond the tenth are not recorded
  static constexpr std::uint32_t kMaxBusCount = 8;      // an adapter keeps at most 8 buses
  static constexpr std::uint32_t kDriverValueSize = 80;  // buffer for the "Driver" value

  // Scans the registry at once; an empty registry leaves the table empty and
  // every operation tries again.
  PortTable();
  ~PortTable();
  PortTable(const PortTable&) = delete;
  PortTable& operator=(const PortTable&) = delete;

  // 0 when the table holds at least one port (without reading the registry
  // when it already does); otherwise the registry error that ended the first
  // attempt, for example 2 when the key of port 0 does not exist.
  std::uint32_t ScanPorts();

  // The number of ports recorded, after a scan if the table is empty.
  std::uint32_t PortCount();

  // The entry of a port, or null when the scan fails or there is no such port.
  const PortEntry* GetPortEntry(std::uint32_t port);

  // Fills `out` (when not null) with the port's class code, driver name and
  // vendor name ("???" for what is unknown) and answers 1; for a port beyond
  // the table fills class 4, "???", "???" and answers 0. When the scan fails
  // it answers 0 and leaves `out` untouched.
  std::uint32_t GetPortDescription(std::uint32_t port, PortDescription* out);

  // The full path of the port's driver image file, cut to `size` bytes with
  // its terminator. False when the port is unknown, its service key cannot be
  // opened, or the path cannot be formed.
  bool GetDriverFilePath(std::uint32_t port, char* path, std::uint32_t size);

  // The number of ports with index below `port` whose class is `classCode`.
  std::uint32_t CountPortsOfClassBelow(std::uint32_t classCode, std::uint32_t port);

 private:
  // The service name of a port: the table's driver name for a known driver,
  // the registry's for an unknown one; null when neither is available.
  const char* ServiceName(const PortEntry& entry) const;
  void Clear();

  std::uint32_t portCount_ = 0;
  PortEntry entries_[kCapacity];
};

// Removes `prefix` from the start of `text` in place when `text` begins with
// it (compared in upper case); reports whether it did.
bool StripPrefix(char* text, const char* prefix);

}  // namespace lumbrel
