#include "discovery/port_table.h"

#include <cstdio>
#include <cstring>

#include "platform/registry_key.h"
#include "platform/runtime.h"
#include "platform/text.h"
#include "platform/win32.h"

namespace lumbrel {
namespace {

constexpr const char* kPortKeyFormat = "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port %u";
constexpr const char* kBusKeyFormat = "Scsi Bus %u";
constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services";
constexpr const char* kUnknownText = "???";
constexpr std::uint32_t kPathBufferSize = MAX_PATH;

std::uint32_t CountBuses(const RegistryKey& port) {
  std::uint32_t buses = 0;
  while (buses < PortTable::kMaxBusCount) {
    char name[32];
    std::snprintf(name, sizeof name, kBusKeyFormat, static_cast<unsigned>(buses));
    RegistryKey bus;
    if (bus.Open(port.handle(), name) != ERROR_SUCCESS) break;
    ++buses;
  }
  return buses;
}

char* CopyToHeap(const char* text, std::size_t length) {
  auto* copy = static_cast<char*>(platform::AllocateMemory(length + 1));
  if (copy != nullptr) {
    std::memcpy(copy, text, length);
    copy[length] = '\0';
  }
  return copy;
}

bool IsAbsolutePath(const char* path) {
  return (path[0] == '\\' && path[1] == '\\') || (path[0] != '\0' && path[1] == ':');
}

}  // namespace

bool StripPrefix(char* text, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  for (std::size_t i = 0; i < n; ++i) {
    if (text[i] == '\0' || AsciiUpper(text[i]) != AsciiUpper(prefix[i])) return false;
  }
  std::memmove(text, text + n, std::strlen(text + n) + 1);
  return true;
}

PortTable::PortTable() { ScanPorts(); }

PortTable::~PortTable() { Clear(); }

void PortTable::Clear() {
  for (std::uint32_t i = 0; i < portCount_; ++i) {
    platform::ReleaseMemory(entries_[i].savedDriverName);
    entries_[i] = PortEntry{};
  }
  portCount_ = 0;
}

std::uint32_t PortTable::ScanPorts() {
  if (portCount_ != 0) return 0;
  LONG error = ERROR_SUCCESS;
  while (portCount_ < kCapacity) {
    char keyName[64];
    std::snprintf(keyName, sizeof keyName, kPortKeyFormat, static_cast<unsigned>(portCount_));
    RegistryKey port;
    error = port.Open(HKEY_LOCAL_MACHINE, keyName);
    if (error != ERROR_SUCCESS) break;
    // One spare byte keeps the value terminated whatever the registry holds.
    char driver[kDriverValueSize + 1] = {};
    DWORD size = kDriverValueSize;
    error = port.Query("Driver", driver, &size);
    if (error != ERROR_SUCCESS) break;
    const auto length = static_cast<std::uint32_t>(BoundedLength(driver, kDriverValueSize));

    PortEntry& entry = entries_[portCount_];
    entry.busCount = CountBuses(port);
    const DriverRow& row = ClassifyDriver(driver, length);
    entry.classCode = row.classCode;
    if (row.driverName != nullptr) {
      entry.driverRow = &row;
    } else {
      entry.driverRow = nullptr;
      entry.savedDriverName = CopyToHeap(driver, length);
    }
    ++portCount_;
  }
  return portCount_ != 0 ? 0 : static_cast<std::uint32_t>(error);
}

std::uint32_t PortTable::PortCount() {
  ScanPorts();
  return portCount_;
}

const PortEntry* PortTable::GetPortEntry(std::uint32_t port) {
  if (ScanPorts() != 0 || port >= portCount_) return nullptr;
  return &entries_[port];
}

std::uint32_t PortTable::CountPortsOfClassBelow(std::uint32_t classCode, std::uint32_t port) {
  ScanPorts();
  std::uint32_t count = 0;
  for (std::uint32_t i = 0; i < port && i < portCount_; ++i) {
    if (entries_[i].classCode == classCode) ++count;
  }
  return count;
}

std::uint32_t PortTable::GetPortDescription(std::uint32_t port, PortDescription* out) {
  if (ScanPorts() != 0) return 0;
  const bool known = port < portCount_;
  if (out != nullptr) {
    const char* driverName = kUnknownText;
    const char* vendorName = kUnknownText;
    out->classCode = AdapterClassScsiPort;
    if (known) {
      const PortEntry& entry = entries_[port];
      out->classCode = entry.classCode;
      if (entry.savedDriverName != nullptr) {
        driverName = entry.savedDriverName;
      } else if (entry.driverRow != nullptr) {
        driverName = entry.driverRow->driverName;
      }
      if (entry.driverRow != nullptr && entry.driverRow->vendorName != nullptr) {
        vendorName = entry.driverRow->vendorName;
      }
    }
    CopyPadded(out->driverName, sizeof out->driverName, driverName);
    CopyPadded(out->vendorName, sizeof out->vendorName, vendorName);
  }
  return known ? 1 : 0;
}

const char* PortTable::ServiceName(const PortEntry& entry) const {
  if (entry.driverRow != nullptr) return entry.driverRow->driverName;
  return entry.savedDriverName;
}

bool PortTable::GetDriverFilePath(std::uint32_t port, char* path, std::uint32_t size) {
  const PortEntry* entry = GetPortEntry(port);
  if (entry == nullptr) return false;
  const char* service = ServiceName(*entry);
  if (service == nullptr) return false;

  RegistryKey services;
  if (services.Open(HKEY_LOCAL_MACHINE, kServicesKey) != ERROR_SUCCESS) return false;
  RegistryKey serviceKey;
  if (serviceKey.Open(services.handle(), service) != ERROR_SUCCESS) return false;

  char imagePath[kPathBufferSize + 1] = {};
  DWORD imagePathSize = kPathBufferSize;
  char file[kPathBufferSize + 1] = {};
  std::uint32_t length = 0;
  if (serviceKey.Query("ImagePath", imagePath, &imagePathSize) == ERROR_SUCCESS) {
    const DWORD expanded = ExpandEnvironmentStringsA(imagePath, file, kPathBufferSize);
    // A count beyond the buffer means the expansion did not fit: no path.
    if (expanded == 0 || expanded > kPathBufferSize) return false;
    length = expanded;
  } else {
    const int n = std::snprintf(file, sizeof file, "System32\\drivers\\%s.sys", service);
    length = n < 0 ? 0 : static_cast<std::uint32_t>(n);
  }
  if (length <= 2) return false;

  char prefix[kPathBufferSize + 2] = {};
  if (!IsAbsolutePath(file)) {
    const UINT windows = GetWindowsDirectoryA(prefix, kPathBufferSize);
    if (windows == 0 || windows >= kPathBufferSize) return false;
    std::strcat(prefix, "\\");
    StripPrefix(file, "\\SystemRoot");
    StripPrefix(file, "\\");
  }
  if (size == 0) return true;
  CopyTerminated(path, size, prefix);
  const std::size_t used = std::strlen(path);
  CopyTerminated(path + used, size - used, file);
  return true;
}

}  // namespace lumbrel
