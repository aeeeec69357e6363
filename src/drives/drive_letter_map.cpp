#include "drives/drive_letter_map.h"

#include <cctype>
#include <cstdio>

#include "drives/disk_information.h"
#include "drives/volume_disk_extents.h"
#include "platform/byte_view.h"
#include "platform/registry_key.h"
#include "platform/runtime.h"
#include "platform/win32.h"
#include "scsi/control_codes.h"
#include "scsi/device_handle.h"
#include "scsi/scsi_address.h"

namespace lumbrel {
namespace {

constexpr std::uint32_t kLetterCount = 32;  // bits of GetLogicalDrives

std::uint8_t LetterOf(std::uint32_t bit) { return static_cast<std::uint8_t>('A' + bit); }

// Receives a reply of `size` bytes from the volume device of a letter
// ("\\.\X:"), opened for queries only.
std::uint32_t QueryVolume(std::uint8_t letter, std::uint32_t ioctl, std::uint8_t* reply, std::uint32_t size) {
  char name[8];
  std::snprintf(name, sizeof name, "\\\\.\\%c:", static_cast<char>(letter));
  DeviceHandle volume;
  std::uint32_t result = volume.Open(name, 0);
  if (result == 0) result = volume.Transfer(ioctl, reply, size, DeviceHandle::kReceive);
  volume.Close();
  return result;
}

DriveAddress AddressFromReply(const std::uint8_t* reply) {
  const ByteView view(reply, scsi_address::kSize);
  DriveAddress address;
  address.target = view.U8(scsi_address::kTargetId.offset);
  address.bus = view.U8(scsi_address::kPathId.offset);
  address.port = view.U8(scsi_address::kPortNumber.offset);
  return address;
}

}  // namespace

std::uint32_t DriveLetterMap::CandidateLetters() {
  const DWORD drives = GetLogicalDrives();
  std::uint32_t letters = 0;
  for (std::uint32_t bit = 0; bit < kLetterCount; ++bit) {
    if (((drives >> bit) & 1) == 0) continue;
    const char root[4] = {static_cast<char>(LetterOf(bit)), ':', '\\', '\0'};
    const UINT type = GetDriveTypeA(root);
    if (type == DRIVE_REMOVABLE || type == DRIVE_FIXED) letters |= 1u << bit;
  }
  return letters;
}

std::uint32_t DriveLetterMap::PhysicalDriveAddress(std::uint32_t disk, DriveAddress* address) {
  char name[32];
  std::snprintf(name, sizeof name, "\\\\.\\PhysicalDrive%u", static_cast<unsigned>(disk));
  DeviceHandle device;
  std::uint32_t result = device.Open(name, 0);
  std::uint8_t reply[scsi_address::kSize] = {};
  if (result == 0) result = device.Transfer(kIoctlScsiGetAddress, reply, sizeof reply, DeviceHandle::kReceive);
  device.Close();
  if (result == 0) *address = AddressFromReply(reply);
  return result;
}

bool DriveLetterMap::AddEntry(std::uint8_t letter, DriveAddress address) {
  for (std::uint32_t i = 0; i < count_; ++i) {
    if (entries_[i].letter == letter && entries_[i].address == address) return true;
  }
  if (count_ >= kCapacity) return false;
  entries_[count_++] = Entry{letter, address};
  return true;
}

bool DriveLetterMap::AddLetterFor(std::uint8_t letter, DriveAddress address) {
  std::uint32_t count = 0;
  DriveAddress members[kMaxMembers];
  const std::uint32_t result = expansion_.ExpandLogicalDrive(address, &count, members);
  if (result != 0 || count == 0) return AddEntry(letter, address);
  if (count > kMaxMembers) count = kMaxMembers;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!AddEntry(letter, members[i])) return false;
  }
  return true;
}

std::uint32_t DriveLetterMap::AddFromVolumeExtents() {
  namespace layout = volume_disk_extents;
  const std::uint32_t letters = CandidateLetters();
  bool sawExtent = false;
  std::uint32_t lastResult = 0;
  for (std::uint32_t bit = 0; bit < kLetterCount; ++bit) {
    if (((letters >> bit) & 1) == 0) continue;
    std::uint8_t reply[layout::kReplySize] = {};
    lastResult = QueryVolume(LetterOf(bit), kIoctlVolumeGetVolumeDiskExtents, reply, sizeof reply);
    if (lastResult != 0) continue;
    const ByteView view(reply, sizeof reply);
    const std::uint32_t extents = view.Fit(view.Le32(layout::kNumberOfDiskExtents.offset), layout::kFirstExtent,
                                           layout::extent::kSize, layout::kMaxExtents);
    for (std::uint32_t i = 0; i < extents; ++i) {
      sawExtent = true;
      const ByteView extent = view.Sub(layout::kFirstExtent + i * layout::extent::kSize, layout::extent::kSize);
      DriveAddress address;
      if (PhysicalDriveAddress(extent.Le32(layout::extent::kDiskNumber.offset), &address) != 0) continue;
      if (!AddLetterFor(LetterOf(bit), address)) return 0;
    }
  }
  return sawExtent ? 0 : lastResult;
}

std::uint32_t DriveLetterMap::AddFromVolumeAddresses() {
  const std::uint32_t letters = CandidateLetters();
  for (std::uint32_t bit = 0; bit < kLetterCount; ++bit) {
    if (((letters >> bit) & 1) == 0) continue;
    std::uint8_t reply[scsi_address::kSize] = {};
    if (QueryVolume(LetterOf(bit), kIoctlScsiGetAddress, reply, sizeof reply) != 0) continue;
    if (!AddLetterFor(LetterOf(bit), AddressFromReply(reply))) break;
  }
  return 0;
}

std::uint32_t DriveLetterMap::AddFromPartitionTable() {
  auto* value = static_cast<std::uint8_t*>(platform::AllocateMemory(disk_information::kValueRoom));
  if (value == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  RegistryKey key;
  std::uint32_t result = static_cast<std::uint32_t>(key.Open(HKEY_LOCAL_MACHINE, disk_information::kKey));
  if (result == 0) {
    DWORD size = disk_information::kValueRoom;
    result = static_cast<std::uint32_t>(key.Query(disk_information::kValue, value, &size));
    if (result == 0) result = AddFromDiskRecords(value, size < disk_information::kValueRoom ? size : disk_information::kValueRoom);
  }
  key.Close();
  platform::ReleaseMemory(value);
  // No key or no value: a system that keeps no such record.
  return (result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND) ? 0 : result;
}

std::uint32_t DriveLetterMap::AddFromDiskRecords(const std::uint8_t* data, std::uint32_t size) {
  namespace layout = disk_information;
  const ByteView value(data, size);
  if (!value.Holds(layout::kDiskListOffset.offset, layout::kDiskListOffset.size)) return 0;
  const ByteView list = value.Sub(value.Le32(layout::kDiskListOffset.offset));
  const std::uint32_t disks = list.Le16(layout::disk_list::kDiskCount.offset);
  std::uint64_t offset = layout::disk_list::kFirstDisk;
  std::uint32_t lastLookup = 0;
  for (std::uint32_t k = 0; k < disks; ++k) {
    // A record that does not lie inside the value ends the walk.
    if (!list.Holds(offset, layout::disk::kPartitionsOffset)) break;
    const ByteView record = list.Sub(offset);
    const std::uint32_t declared = record.Le16(layout::disk::kPartitionCount.offset);
    const std::uint32_t partitions =
        record.Fit(declared, layout::disk::kPartitionsOffset, layout::partition::kSize);
    for (std::uint32_t p = 0; p < partitions; ++p) {
      const std::uint32_t at = layout::disk::kPartitionsOffset + p * layout::partition::kSize;
      const auto letter = static_cast<std::int8_t>(record.U8(at + layout::partition::kDriveLetter.offset));
      if (letter < 'A') continue;
      DriveAddress address;
      lastLookup = PhysicalDriveAddress(k, &address);
      if (lastLookup != 0) continue;
      if (!AddLetterFor(static_cast<std::uint8_t>(letter), address)) return 0;
    }
    offset += layout::disk::kPartitionsOffset + std::uint64_t{declared} * layout::partition::kSize;
  }
  return lastLookup;
}

std::uint32_t DriveLetterMap::Rebuild() {
  count_ = 0;
  std::uint32_t result = AddFromVolumeExtents();
  if (result != 0) {
    AddFromVolumeAddresses();
    result = AddFromPartitionTable();
  }
  if (result == 0) lastRebuild_ = GetTickCount();
  return result;
}

std::uint32_t DriveLetterMap::GetDriveLetterMask(DriveAddress address) {
  if (lastRebuild_ == 0 || GetTickCount() - lastRebuild_ >= kRebuildInterval) Rebuild();
  std::uint32_t mask = 0;
  for (std::uint32_t i = 0; i < count_; ++i) {
    if (entries_[i].address != address) continue;
    const int upper = std::toupper(entries_[i].letter);
    mask |= 1u << (static_cast<std::uint32_t>(upper - 'A') % 32);
  }
  return mask;
}

}  // namespace lumbrel
