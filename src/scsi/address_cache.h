// Which class-driver device (disk or scanner) sits at which SCSI address.
//
// Requests for a drive on a port go through the class driver's device when
// one owns the drive's address, and through the port device otherwise. The
// cache lists the class-driver devices with their addresses; it is process
// wide, shared by every adapter, and enumerated again at most every 40
// seconds. Its operations lock it: the caller's thread and the job
// workers share it.
#pragma once

#include <cstdint>

#include "platform/lock.h"
#include "scsi/device_names.h"

namespace lumbrel {

class ScsiAddressCache {
 public:
  static constexpr std::uint32_t kCapacity = 24;
  static constexpr std::uint32_t kDevicesPerFormat = 24;
  static constexpr std::uint32_t kRefreshInterval = 40000;  // ms
  static constexpr std::uint8_t kAny = 255;                // matches every value in a lookup
  static constexpr std::uint32_t kNoDevice = 0xFFFFFFFF;   // deviceNumber of an empty entry

  struct Entry {
    // The SCSI_ADDRESS reply as the device gave it.
    std::uint32_t length;
    std::uint8_t portNumber;
    std::uint8_t pathId;
    std::uint8_t targetId;
    std::uint8_t lun;
    std::uint32_t deviceNumber;  // N of the device name; kNoDevice: empty
    std::uint32_t nameFormat;    // index into the name formats
  };
  static_assert(sizeof(Entry) == 16);

  ScsiAddressCache();

  // Enumerates "\\.\PhysicalDrive%d" and then "\\.\Scanner%d", N = 0 to 23,
  // each up to the first number that cannot be opened, unless the last
  // enumeration ended less than 40 s ago. Always 0.
  std::uint32_t Refresh();
  // The first entry whose port, path and target match (kAny matches every
  // value; the LUN is not compared). No refresh.
  bool Find(std::uint8_t port, std::uint8_t path, std::uint8_t target, std::uint32_t* index) const;
  // After a refresh: the name of the class-driver device at that address,
  // else the port device "\\.\SCSI%d:" of `port`. `name` holds kDeviceNameBufferSize bytes.
  void BuildDeviceName(std::uint8_t port, std::uint8_t path, std::uint8_t target, char* name);
  // The address {target, path, port} of the first class-driver device on the
  // port; false (address untouched) when it has none. No refresh.
  bool GetPortAddress(std::uint8_t port, std::uint8_t address[3]) const;

  std::uint32_t entryCount() const { return entryCount_; }
  std::uint32_t lastRefresh() const { return lastRefresh_; }
  const Entry& entry(std::uint32_t index) const { return entries_[index]; }

 private:
  void Clear();
  std::uint32_t RefreshLocked();
  bool FindLocked(std::uint8_t port, std::uint8_t path, std::uint8_t target, std::uint32_t* index) const;

  mutable platform::Lock lock_;
  Entry entries_[kCapacity];
  std::uint32_t entryCount_ = 0;
  std::uint32_t lastRefresh_ = 0;  // GetTickCount at the end of the last refresh; 0: never
};

}  // namespace lumbrel
