// The library's own reports that name drives and adapters: the adapter
// report (adapter number and class), from which an address given as
// PORT:BUS:TARGET gets the class and ordinal that some exports take, and the
// disk configuration report, which tells what a drive is and what lies on it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "command_arguments.h"
#include "library.h"

namespace lumbrel::diag {

struct AdapterEntry {
  std::uint32_t number = 0;
  std::uint32_t classCode = 0;
  std::string vendor, driver, version;
};

struct AdapterReport {
  std::uint32_t result = 0;  // CountAdapterUnits's, else GetAllAdapterInfo's
  std::uint32_t units = 0;
  std::uint32_t count = 0;  // as CountAdapterUnits gave it
  std::vector<AdapterEntry> adapters;
};

// CountAdapterUnits then GetAllAdapterInfo; an error text when the library
// lacks them or reports more adapters than there can be.
std::optional<std::string> ReadAdapterReport(const ExportTable& exports, AdapterReport& report);

// The ordinal of adapter `port` among the adapters of its class, as the
// exports that take a class count it: the adapter number itself for
// classes 0, 4 and 5. None when the report has no such adapter.
std::optional<std::uint32_t> OrdinalOf(const AdapterReport& report, std::uint32_t port);

// Fills in the form of `drive` that was not given: the class and ordinal of
// PORT, or the port that CLASS and ORDINAL name. An error text when the
// adapter report has no such adapter.
std::optional<std::string> CompleteDrive(const AdapterReport& report, DriveName& drive);

struct DiskReport {
  std::uint32_t result = 0;  // CountAdapterUnits's, else GetAllDiskConfigInfo's
  std::uint32_t capacity = 0;
  std::vector<DiskConfigRecord> records;  // up to the first empty one
};

// The most records asked for, or believed from the library.
constexpr std::uint32_t kMaxDiskRecords = 4096;

// CountAdapterUnits (which builds the adapter list), then
// GetAllDiskConfigInfo with room for `capacity` records (the unit count when
// none). An error text when the library lacks them.
std::optional<std::string> ReadDiskReport(const ExportTable& exports, std::optional<std::uint32_t> capacity,
                                          DiskReport& report);

// The record of the drive at port, bus and target, if the report has one.
const DiskConfigRecord* FindDisk(const DiskReport& report, std::uint32_t port, std::uint32_t bus,
                                 std::uint32_t target);

// Whether a record's RAID level says the drive belongs to an array.
bool InArray(std::uint32_t raidLevel);

}  // namespace lumbrel::diag
