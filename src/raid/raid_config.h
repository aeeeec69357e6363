// The RAID view of one SCSI port: the logical drives that the port's
// controller reports, each with its level, status, capacity and members.
//
// One object per port, of the variant that the port's class calls for; the
// array variants ask their controller in Refresh (at most once every 15 s
// of calendar time), the non-array variant has one pseudo logical drive.
#pragma once

#include <cstdint>

#include "scsi/drive_address.h"
#include "scsi/scsi_adapter.h"

namespace lumbrel {

// Array status codes of a logical drive. 0: none, ignored by the status
// lookup; 1..6 from the controllers' state tables; 3 also the status of a
// freshly initialised record.
inline constexpr std::uint32_t kArrayStatusNone = 0;
inline constexpr std::uint32_t kArrayStatusInitial = 3;
inline constexpr std::uint32_t kRaidLevelNone = 65535;  // no level, or an unknown one

struct LogicalDrive {
  std::uint32_t raidLevel = kRaidLevelNone;
  std::uint32_t status = kArrayStatusInitial;
  std::uint32_t capacity = 0;  // 512-byte blocks
  std::uint8_t memberCount = 0;
  DriveAddress address;  // where the host sees the logical drive
  DriveAddress members[kMaxMembers];
};

class RaidConfig : public LibraryAllocated {
 public:
  static constexpr std::uint32_t kRefreshInterval = 15;  // seconds of calendar time
  static constexpr std::uint32_t kVersionSize = 16;

  explicit RaidConfig(std::uint32_t size) : bufferSize(size) {}
  virtual ~RaidConfig();
  RaidConfig(const RaidConfig&) = delete;
  RaidConfig& operator=(const RaidConfig&) = delete;

  // Brings the records up to date from the controller: 0 or its failure.
  virtual std::uint32_t Refresh() = 0;
  // Refreshes, then finds the record whose address is `address`: 0, or 55
  // when there is none, or the refresh's failure.
  virtual std::uint32_t FindLogicalDrive(DriveAddress address, std::uint32_t* index);

  // Stores the adapter and refreshes: the refresh's result.
  std::uint32_t AttachAdapter(ScsiAdapter* adapter);
  // Level, status and capacity of record `index` (any output may be null): 0, or 55 out of range.
  std::uint32_t GetLogicalDriveInfo(std::uint32_t index, std::uint32_t* raidLevel, std::uint32_t* status,
                                    std::uint32_t* capacity) const;
  std::uint32_t GetMembers(std::uint32_t index, const DriveAddress** members, std::uint32_t* count) const;
  std::uint32_t GetMembersOf(DriveAddress address, const DriveAddress** members, std::uint32_t* count);
  // Makes n records valid and initialised; the array never shrinks: 0 or 8.
  std::uint32_t SetLogicalDriveCount(std::uint32_t n);
  std::uint32_t ClearLogicalDrives();
  // 1 when `member` is now listed in record `index` (added or already there), else 0.
  std::uint32_t AddMember(std::uint32_t index, DriveAddress member);
  std::uint32_t EnsureBuffer();  // 0 or 8
  std::uint32_t FreeBuffer();

  std::uint32_t logicalDriveCount = 0;
  std::uint32_t logicalDriveCapacity = 0;
  ScsiAdapter* adapter = nullptr;  // not owned; null until attached
  std::uint8_t* buffer = nullptr;  // controller replies; allocated on first use
  const std::uint32_t bufferSize;
  std::uint32_t lastRefresh = 0;  // calendar seconds of the last completed refresh; 0: never
  LogicalDrive* logicalDrives = nullptr;
  char biosVersion[kVersionSize] = {};
  char firmwareVersion[kVersionSize] = {};  // empty: the one-time version request is still to be made

 protected:
  // The refresh throttle: true when the controller must not be asked yet.
  // `now` receives the calendar time that a completed refresh stores.
  bool RefreshedRecently(std::uint32_t* now) const;
};

// A port that is no array controller: one pseudo logical drive (level
// none, status 3, no members) that every address belongs to.
class NonArrayConfig : public RaidConfig {
 public:
  static constexpr std::uint32_t kBufferSize = 256;
  NonArrayConfig() : RaidConfig(kBufferSize) {}
  std::uint32_t Refresh() override;
  std::uint32_t FindLogicalDrive(DriveAddress address, std::uint32_t* index) override;
};

}  // namespace lumbrel
