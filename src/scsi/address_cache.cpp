#include "scsi/address_cache.h"

#include <cstring>

#include "platform/byte_order.h"
#include "platform/win32.h"
#include "scsi/device_handle.h"
#include "scsi/control_codes.h"
#include "scsi/scsi_address.h"

namespace lumbrel {

ScsiAddressCache::ScsiAddressCache() { Clear(); }

void ScsiAddressCache::Clear() {
  std::memset(entries_, 0xFF, sizeof entries_);
  entryCount_ = 0;
}

std::uint32_t ScsiAddressCache::Refresh() {
  platform::Locked locked(lock_);
  return RefreshLocked();
}

std::uint32_t ScsiAddressCache::RefreshLocked() {
  // Unsigned difference: correct across the wrap of the tick count.
  if (lastRefresh_ != 0 && GetTickCount() - lastRefresh_ < kRefreshInterval) return 0;
  Clear();
  lastRefresh_ = 0;
  for (std::uint32_t format = 0; format < kClassDeviceNameFormatCount; ++format) {
    for (std::uint32_t number = 0; number < kDevicesPerFormat; ++number) {
      char name[kDeviceNameBufferSize];
      FormatClassDeviceName(name, format, number);
      DeviceHandle device;
      if (device.Open(name, 0) != 0) break;  // the first gap ends this format
      std::uint8_t reply[scsi_address::kSize] = {};
      const std::uint32_t result = device.Control(kIoctlScsiGetAddress, reply, 0, sizeof reply);
      device.Close();
      if (result != 0 || entryCount_ >= kCapacity) continue;
      Entry& entry = entries_[entryCount_++];
      entry.length = LoadLe32(reply + scsi_address::kLength.offset);
      entry.portNumber = reply[scsi_address::kPortNumber.offset];
      entry.pathId = reply[scsi_address::kPathId.offset];
      entry.targetId = reply[scsi_address::kTargetId.offset];
      entry.lun = reply[scsi_address::kLun.offset];
      entry.deviceNumber = number;
      entry.nameFormat = format;
    }
  }
  // A refresh that ends at tick 0 reads as "never refreshed" and is repeated
  // at the next use; that costs one enumeration once every 49.7 days.
  lastRefresh_ = GetTickCount();
  return 0;
}

bool ScsiAddressCache::Find(std::uint8_t port, std::uint8_t path, std::uint8_t target, std::uint32_t* index) const {
  platform::Locked locked(lock_);
  return FindLocked(port, path, target, index);
}

bool ScsiAddressCache::FindLocked(std::uint8_t port, std::uint8_t path, std::uint8_t target,
                                  std::uint32_t* index) const {
  for (std::uint32_t i = 0; i < kCapacity; ++i) {
    const Entry& entry = entries_[i];
    if (entry.deviceNumber == kNoDevice) continue;
    if (port != kAny && entry.portNumber != port) continue;
    if (path != kAny && entry.pathId != path) continue;
    if (target != kAny && entry.targetId != target) continue;
    if (index != nullptr) *index = i;
    return true;
  }
  return false;
}

void ScsiAddressCache::BuildDeviceName(std::uint8_t port, std::uint8_t path, std::uint8_t target, char* name) {
  platform::Locked locked(lock_);
  RefreshLocked();
  std::uint32_t index = 0;
  if (FindLocked(port, path, target, &index) && entries_[index].nameFormat < kClassDeviceNameFormatCount) {
    FormatClassDeviceName(name, entries_[index].nameFormat, entries_[index].deviceNumber);
  } else {
    FormatPortDeviceName(name, port);
  }
}

bool ScsiAddressCache::GetPortAddress(std::uint8_t port, std::uint8_t address[3]) const {
  platform::Locked locked(lock_);
  std::uint32_t index = 0;
  if (!FindLocked(port, kAny, kAny, &index)) return false;
  address[0] = entries_[index].targetId;
  address[1] = entries_[index].pathId;
  address[2] = port;
  return true;
}

}  // namespace lumbrel
