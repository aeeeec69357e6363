// The process-wide map from drive letters to the SCSI addresses of the
// physical drives that hold them, rebuilt at most every 20 seconds from the
// volume devices (their disk extents; failing that, their SCSI addresses and
// the partition table that Windows keeps in the registry).
#pragma once

#include <cstdint>

#include "drives/member_expansion.h"
#include "scsi/drive_address.h"

namespace lumbrel {

class DriveLetterMap {
 public:
  static constexpr std::uint32_t kCapacity = 100;
  static constexpr std::uint32_t kRebuildInterval = 20000;  // ms of GetTickCount

  struct Entry {
    std::uint8_t letter = 0;  // as found
    DriveAddress address;
  };

  explicit DriveLetterMap(MemberExpansion& expansion) : expansion_(expansion) {}
  DriveLetterMap(const DriveLetterMap&) = delete;
  DriveLetterMap& operator=(const DriveLetterMap&) = delete;

  // The letters on a drive, bit 0 = A:; rebuilds first when the map is
  // older than 20 s or was never built.
  std::uint32_t GetDriveLetterMask(DriveAddress address);
  // Empties the map and fills it again: 0, or the failure that keeps the
  // rebuild time as it was.
  std::uint32_t Rebuild();
  // The three ways of finding letters; each adds to the map.
  std::uint32_t AddFromVolumeExtents();
  std::uint32_t AddFromVolumeAddresses();
  std::uint32_t AddFromPartitionTable();
  // At unload: the next query rebuilds.
  void ForgetRebuild() { lastRebuild_ = 0; }

  std::uint32_t EntryCount() const { return count_; }
  const Entry& EntryAt(std::uint32_t index) const { return entries_[index]; }

  // The drive letters (bit n = 'A' + n) of removable and fixed drives.
  static std::uint32_t CandidateLetters();
  // The SCSI address of "\\.\PhysicalDrive<disk>": 0, or the failure of
  // the open or of the request.
  static std::uint32_t PhysicalDriveAddress(std::uint32_t disk, DriveAddress* address);

 private:
  // Appends (letter, address) unless it is there already; false when the
  // map is full.
  bool AddEntry(std::uint8_t letter, DriveAddress address);
  // Enters the letter for every member drive behind the address (the
  // address itself when it expands to nothing); false when the map is full.
  bool AddLetterFor(std::uint8_t letter, DriveAddress address);
  // Walks the disk records of the registry's disk configuration record.
  std::uint32_t AddFromDiskRecords(const std::uint8_t* value, std::uint32_t size);

  MemberExpansion& expansion_;
  std::uint32_t count_ = 0;
  Entry entries_[kCapacity];
  std::uint32_t lastRebuild_ = 0;  // GetTickCount of the last successful rebuild; 0: never
};

}  // namespace lumbrel
