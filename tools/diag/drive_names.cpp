#include "drive_names.h"

#include <cstring>

#include "text_output.h"

namespace lumbrel::diag {
namespace {

// The library builds its adapter list from at most 16 ports; a count far
// beyond that is not believed.
constexpr std::uint32_t kMaxAdapters = 256;

bool OrdinalIsNumber(std::uint32_t classCode) {
  return classCode == LUMBREL_CLASS_BASE || classCode == LUMBREL_CLASS_SCSIPORT || classCode == LUMBREL_CLASS_ATAPI;
}

// The report's records end at the first one that is all zero.
bool IsEmpty(const DiskConfigRecord& record) {
  static const DiskConfigRecord kZero{};
  return std::memcmp(&record, &kZero, sizeof record) == 0;
}

}  // namespace

std::optional<std::string> ReadAdapterReport(const ExportTable& exports, AdapterReport& report) {
  if (exports.CountAdapterUnits == nullptr || exports.GetAllAdapterInfo == nullptr) {
    return "this LUMBREL library does not export CountAdapterUnits and GetAllAdapterInfo";
  }
  std::uint32_t& count = report.count;
  report.result = exports.CountAdapterUnits(&report.units, &count);
  if (report.result != 0) return std::nullopt;
  if (count > kMaxAdapters) return "the library reports " + std::to_string(count) + " adapters";
  std::vector<AdapterInfoRecord> records(count);
  report.result = exports.GetAllAdapterInfo(records.data());
  if (report.result != 0) return std::nullopt;
  for (const AdapterInfoRecord& record : records) {
    // Copies: the packed records' integers are not aligned for odd records.
    const std::uint32_t number = record.adapterNumber;
    const std::uint32_t classCode = record.classCode;
    report.adapters.push_back({number, classCode, FieldText(record.vendorName, sizeof record.vendorName),
                               FieldText(record.driverName, sizeof record.driverName),
                               FieldText(record.driverVersion, sizeof record.driverVersion)});
  }
  return std::nullopt;
}

std::optional<std::uint32_t> OrdinalOf(const AdapterReport& report, std::uint32_t port) {
  const AdapterEntry* adapter = nullptr;
  for (const AdapterEntry& entry : report.adapters) {
    if (entry.number == port) adapter = &entry;
  }
  if (adapter == nullptr) return std::nullopt;
  if (OrdinalIsNumber(adapter->classCode)) return port;
  std::uint32_t ordinal = 0;
  for (const AdapterEntry& entry : report.adapters) {
    if (entry.classCode == adapter->classCode && entry.number < port) ++ordinal;
  }
  return ordinal;
}

std::optional<std::string> CompleteDrive(const AdapterReport& report, DriveName& drive) {
  if (report.result != 0) {
    return "the adapter report, which names the adapters, failed with result " + std::to_string(report.result);
  }
  if (drive.byPort) {
    const auto ordinal = OrdinalOf(report, drive.port);
    if (!ordinal) return "PORT " + std::to_string(drive.port) + " is no adapter in the adapter report";
    for (const AdapterEntry& entry : report.adapters) {
      if (entry.number == drive.port) drive.classCode = entry.classCode;
    }
    drive.ordinal = *ordinal;
    return std::nullopt;
  }
  for (const AdapterEntry& entry : report.adapters) {
    const bool match = OrdinalIsNumber(drive.classCode) ? entry.number == drive.ordinal
                                                        : entry.classCode == drive.classCode &&
                                                              OrdinalOf(report, entry.number) == drive.ordinal;
    if (match) {
      drive.port = entry.number;
      return std::nullopt;
    }
  }
  return "class " + ClassText(drive.classCode) + ", ordinal " + std::to_string(drive.ordinal) +
         " names no adapter in the adapter report";
}

std::optional<std::string> ReadDiskReport(const ExportTable& exports, std::optional<std::uint32_t> capacity,
                                          DiskReport& report) {
  if (exports.CountAdapterUnits == nullptr || exports.GetAllDiskConfigInfo == nullptr) {
    return "this LUMBREL library does not export CountAdapterUnits and GetAllDiskConfigInfo";
  }
  // The report shows only adapters that are in the list: building it first
  // is the caller's part.
  std::uint32_t units = 0;
  const std::uint32_t countResult = exports.CountAdapterUnits(&units, nullptr);
  if (!capacity) {
    if (units > kMaxDiskRecords) return "the library reports " + std::to_string(units) + " units";
    capacity = units;
  }
  report.capacity = *capacity;
  std::vector<DiskConfigRecord> records(*capacity);
  DiskConfigRecord none{};  // capacity 0 still passes a valid address
  const std::uint32_t reportResult = exports.GetAllDiskConfigInfo(*capacity != 0 ? records.data() : &none, *capacity);
  report.result = countResult != 0 ? countResult : reportResult;
  for (const DiskConfigRecord& record : records) {
    if (IsEmpty(record)) break;
    report.records.push_back(record);
  }
  return std::nullopt;
}

const DiskConfigRecord* FindDisk(const DiskReport& report, std::uint32_t port, std::uint32_t bus,
                                 std::uint32_t target) {
  for (const DiskConfigRecord& record : report.records) {
    if (record.adapterNumber == port && record.bus == bus && record.target == target) return &record;
  }
  return nullptr;
}

bool InArray(std::uint32_t raidLevel) { return raidLevel != 255 && raidLevel != 65535; }

}  // namespace lumbrel::diag
