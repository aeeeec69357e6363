#include "raid/raid_config_list.h"

#include <cstring>
#include <new>

#include "raid/hhba5100_config.h"
#include "raid/megaraid_config.h"
#include "raid/qzv_config.h"
#include "result_codes.h"

namespace lumbrel {

RaidConfig* RaidConfigList::CreateRaidConfig(std::uint32_t, std::uint32_t classCode) {
  switch (classCode) {
    case AdapterClassMegaRaid: return new (std::nothrow) MegaRaidConfig();
    case AdapterClassHhba5100: return new (std::nothrow) Hhba5100Config();
    case AdapterClassQzv: return new (std::nothrow) QzvConfig(ports_, arrayLibrary_);
    default: return new (std::nothrow) NonArrayConfig();
  }
}

std::uint32_t RaidConfigList::BuildRaidConfigList() {
  if (count_ != 0) return 0;
  if (const std::uint32_t result = ports_.ScanPorts()) {
    FreeRaidConfigList();
    return result;
  }
  const std::uint32_t portCount = ports_.PortCount();
  for (std::uint32_t port = 0; port < portCount && port < PortTable::kCapacity; ++port) {
    const PortEntry* entry = ports_.GetPortEntry(port);
    RaidConfig* config = CreateRaidConfig(port, entry != nullptr ? entry->classCode : AdapterClassBase);
    if (config == nullptr) {
      FreeRaidConfigList();
      return kNoMemory;
    }
    configs_[count_++] = config;
  }
  return 0;
}

std::uint32_t RaidConfigList::FreeRaidConfigList() {
  for (std::uint32_t i = 0; i < count_; ++i) {
    delete configs_[i];
    configs_[i] = nullptr;
  }
  count_ = 0;
  return 0;
}

std::uint32_t RaidConfigList::GetRaidConfig(std::uint32_t port, RaidConfig** out) {
  if (const std::uint32_t result = BuildRaidConfigList()) return result;
  if (port >= count_) return kNotSupported;
  RaidConfig* config = configs_[port];
  if (config->adapter == nullptr) {
    if (const std::uint32_t result = adapters_.BuildAdapterList()) return result;
    ScsiAdapter* adapter = adapters_.OpenAdapter(AdapterClassBase, port);
    if (adapter == nullptr) return kNotSupported;
    // The adapter stays attached even when this first refresh fails; later
    // refreshes come from the lookups.
    if (const std::uint32_t result = config->AttachAdapter(adapter)) return result;
  }
  if (const std::uint32_t result = config->adapter->Open()) return result;
  if (out != nullptr) *out = config;
  return 0;
}

std::uint32_t RaidConfigList::ExpandLogicalDrive(DriveAddress address, std::uint32_t* count, DriveAddress* members) {
  RaidConfig* config = nullptr;
  const DriveAddress* found = nullptr;
  std::uint32_t n = 0;
  std::uint32_t result = GetRaidConfig(address.port, &config);
  if (result == 0) result = config->GetMembersOf(address, &found, &n);
  if (result == 0 && n > 0) {
    std::memcpy(members, found, n * sizeof(DriveAddress));
    *count = n;
    return 0;
  }
  members[0] = address;
  *count = 1;
  return result;
}

std::uint32_t RaidConfigList::FindArrayStatus(DriveAddress address, std::uint32_t* status) {
  RaidConfig* config = nullptr;
  if (const std::uint32_t result = GetRaidConfig(address.port, &config)) return result;
  std::uint32_t highest = 0;
  for (std::uint32_t i = 0; i < config->logicalDriveCount; ++i) {
    std::uint32_t driveStatus = 0;
    if (config->GetLogicalDriveInfo(i, nullptr, &driveStatus, nullptr) != 0 || driveStatus == kArrayStatusNone) {
      continue;
    }
    const DriveAddress* members = nullptr;
    std::uint32_t memberCount = 0;
    if (const std::uint32_t result = config->GetMembers(i, &members, &memberCount)) return result;
    if (memberCount == 0) {
      // A logical drive without members stands for the whole port.
      highest = driveStatus;
      continue;
    }
    for (std::uint32_t m = 0; m < memberCount; ++m) {
      if (members[m] == address) {
        // The statuses compare as signed values.
        if (static_cast<std::int32_t>(driveStatus) > static_cast<std::int32_t>(highest)) highest = driveStatus;
        break;
      }
    }
  }
  *status = highest;
  return 0;
}

std::uint32_t RaidConfigList::FindRaidLevel(DriveAddress address, std::uint32_t* level) {
  std::uint32_t lowest = kRaidLevelNone;
  RaidConfig* config = nullptr;
  if (const std::uint32_t result = GetRaidConfig(address.port, &config)) {
    *level = kRaidLevelNone;
    return result;
  }
  for (std::uint32_t i = 0; i < config->logicalDriveCount; ++i) {
    std::uint32_t driveLevel = kRaidLevelNone;
    config->GetLogicalDriveInfo(i, &driveLevel, nullptr, nullptr);
    const DriveAddress* members = nullptr;
    std::uint32_t memberCount = 0;
    if (const std::uint32_t result = config->GetMembers(i, &members, &memberCount)) {
      *level = lowest;
      return result;
    }
    for (std::uint32_t m = 0; m < memberCount; ++m) {
      if (members[m] == address && driveLevel < lowest) lowest = driveLevel;
    }
  }
  *level = lowest;
  return 0;
}

}  // namespace lumbrel
