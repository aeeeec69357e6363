#include "raid/raid_config.h"

#include <cstring>
#include <new>

#include "platform/runtime.h"
#include "result_codes.h"

namespace lumbrel {

RaidConfig::~RaidConfig() {
  ClearLogicalDrives();
  FreeBuffer();
}

std::uint32_t RaidConfig::FindLogicalDrive(DriveAddress address, std::uint32_t* index) {
  if (const std::uint32_t result = Refresh()) return result;
  for (std::uint32_t i = 0; i < logicalDriveCount; ++i) {
    if (logicalDrives[i].address == address) {
      if (index != nullptr) *index = i;
      return 0;
    }
  }
  return kBadBusOrClosedHandle;
}

std::uint32_t RaidConfig::AttachAdapter(ScsiAdapter* attached) {
  adapter = attached;
  return Refresh();
}

std::uint32_t RaidConfig::GetLogicalDriveInfo(std::uint32_t index, std::uint32_t* raidLevel, std::uint32_t* status,
                                              std::uint32_t* capacity) const {
  if (index >= logicalDriveCount) return kBadBusOrClosedHandle;
  const LogicalDrive& drive = logicalDrives[index];
  if (raidLevel != nullptr) *raidLevel = drive.raidLevel;
  if (status != nullptr) *status = drive.status;
  if (capacity != nullptr) *capacity = drive.capacity;
  return 0;
}

std::uint32_t RaidConfig::GetMembers(std::uint32_t index, const DriveAddress** members, std::uint32_t* count) const {
  if (index >= logicalDriveCount) return kBadBusOrClosedHandle;
  if (members != nullptr) *members = logicalDrives[index].members;
  if (count != nullptr) *count = logicalDrives[index].memberCount;
  return 0;
}

std::uint32_t RaidConfig::GetMembersOf(DriveAddress address, const DriveAddress** members, std::uint32_t* count) {
  std::uint32_t index = 0;
  if (const std::uint32_t result = FindLogicalDrive(address, &index)) return result;
  return GetMembers(index, members, count);
}

std::uint32_t RaidConfig::SetLogicalDriveCount(std::uint32_t n) {
  if (logicalDriveCapacity < n) {
    ClearLogicalDrives();
    auto* records = static_cast<LogicalDrive*>(platform::AllocateMemory(sizeof(LogicalDrive) * n));
    if (records == nullptr) return kNoMemory;
    for (std::uint32_t i = 0; i < n; ++i) new (&records[i]) LogicalDrive();
    logicalDrives = records;
    logicalDriveCapacity = n;
  }
  logicalDriveCount = n;
  // Reinitialised records keep their address and member bytes; only the
  // member count says which members are valid.
  for (std::uint32_t i = 0; i < n; ++i) {
    LogicalDrive& drive = logicalDrives[i];
    drive.raidLevel = kRaidLevelNone;
    drive.status = kArrayStatusInitial;
    drive.capacity = 0;
    drive.memberCount = 0;
  }
  return 0;
}

std::uint32_t RaidConfig::ClearLogicalDrives() {
  // LogicalDrive is trivially destructible: the block is released as it is.
  platform::ReleaseMemory(logicalDrives);
  logicalDrives = nullptr;
  logicalDriveCount = 0;
  logicalDriveCapacity = 0;
  return 0;
}

std::uint32_t RaidConfig::AddMember(std::uint32_t index, DriveAddress member) {
  if (index >= logicalDriveCount) return 0;
  LogicalDrive& drive = logicalDrives[index];
  for (std::uint32_t i = 0; i < drive.memberCount; ++i) {
    if (drive.members[i] == member) return 1;
  }
  if (drive.memberCount >= kMaxMembers) return 0;
  drive.members[drive.memberCount++] = member;
  return 1;
}

std::uint32_t RaidConfig::EnsureBuffer() {
  if (buffer != nullptr) return 0;
  buffer = static_cast<std::uint8_t*>(platform::AllocateMemory(bufferSize));
  if (buffer == nullptr) return kNoMemory;
  std::memset(buffer, 0, bufferSize);
  return 0;
}

std::uint32_t RaidConfig::FreeBuffer() {
  platform::ReleaseMemory(buffer);
  buffer = nullptr;
  return 0;
}

bool RaidConfig::RefreshedRecently(std::uint32_t* now) const {
  const std::uint32_t time = platform::CalendarTime();
  if (now != nullptr) *now = time;
  return time > kRefreshInterval && time - lastRefresh < kRefreshInterval;
}

// ---- NonArrayConfig ------------------------------------------------------------

std::uint32_t NonArrayConfig::Refresh() {
  if (logicalDrives != nullptr) return 0;
  return SetLogicalDriveCount(1);
}

std::uint32_t NonArrayConfig::FindLogicalDrive(DriveAddress, std::uint32_t* index) {
  if (index != nullptr) *index = 0;
  return 0;
}

}  // namespace lumbrel
