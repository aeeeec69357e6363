#include "sim/volume_device.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/win32.h"
#include "sim/machine_description.h"
#include "sim/scsi/driver_errors.h"
#include "sim/scsi/driver_trace.h"
#include "sim/scsi/request_layouts.h"

namespace lumbrel::sim {
namespace {

using layout::Store;

// The disk configuration record as Windows writes it: a 16-byte header whose
// u32 at 12 locates the disk list; the list's u16 disk count, then from 4 one
// record per disk: its u16 partition count, then from 8 its 52-byte
// partitions, each with its drive letter at 40.
namespace disk_record {
inline constexpr layout::Field kDiskListOffset{12, 4};
inline constexpr std::uint32_t kHeaderSize = 16;
inline constexpr layout::Field kDiskCount{0, 2};
inline constexpr std::uint32_t kFirstDisk = 4;
inline constexpr layout::Field kPartitionCount{0, 2};
inline constexpr std::uint32_t kFirstPartition = 8;
inline constexpr std::uint32_t kPartitionSize = 52;
inline constexpr layout::Field kDriveLetter{40, 1};
static_assert(kDiskListOffset.end() == kHeaderSize && kDriveLetter.end() <= kPartitionSize);
}  // namespace disk_record

constexpr std::uint64_t kFirstPartitionOffset = 32256;  // 63 sectors, as disks of the time were partitioned
constexpr std::uint64_t kExtentLength = 0x40000000;      // 1 GiB each; the library does not read it

std::uint32_t ServeRaw(const std::vector<std::uint8_t>& reply, ControlRequest& request) {
  const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(reply.size(), request.outputLength));
  std::copy_n(reply.begin(), length, request.buffer);
  request.bytesReturned = length;
  return 0;
}

std::uint32_t ServeExtents(const VolumeConfig& volume, ControlRequest& request, DriverTrace& trace) {
  namespace extents = layout::volume_disk_extents;
  if (volume.extentsFail) return trace.Reject(driver_error::kInvalidFunction, "the volume's driver has no extents");
  if (volume.extentsReply) return ServeRaw(*volume.extentsReply, request);
  // The structure itself has room for one extent.
  if (request.outputLength < extents::kFirstExtent + extents::extent::kSize) {
    return trace.Reject(driver_error::kInsufficientBuffer, "output shorter than VOLUME_DISK_EXTENTS");
  }
  const auto count = static_cast<std::uint32_t>(volume.extents.size());
  if (request.outputLength < extents::kFirstExtent + count * extents::extent::kSize) {
    return trace.Reject(std::uint32_t{ERROR_MORE_DATA}, "more extents than the output holds");
  }
  std::memset(request.buffer, 0, request.outputLength);
  Store(request.buffer, extents::kNumberOfDiskExtents, count);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint8_t* extent = request.buffer + extents::kFirstExtent + i * extents::extent::kSize;
    Store(extent, extents::extent::kDiskNumber, volume.extents[i]);
    StoreLe64(extent + extents::extent::kStartingOffset, kFirstPartitionOffset);
    StoreLe64(extent + extents::extent::kExtentLength, kExtentLength);
  }
  request.bytesReturned = extents::kFirstExtent + std::max<std::uint32_t>(count, 1) * extents::extent::kSize;
  return 0;
}

std::uint32_t ServeAddress(const VolumeConfig& volume, ControlRequest& request, DriverTrace& trace) {
  namespace address = layout::scsi_address;
  if (volume.scsiAddressReply) return ServeRaw(*volume.scsiAddressReply, request);
  if (!volume.scsiAddress) return trace.Reject(driver_error::kInvalidFunction, "the volume's driver has no SCSI address");
  if (request.outputLength < address::kSize) {
    return trace.Reject(driver_error::kInsufficientBuffer, "output shorter than SCSI_ADDRESS");
  }
  std::memset(request.buffer, 0, address::kSize);
  Store(request.buffer, address::kLength, address::kSize);
  Store(request.buffer, address::kPortNumber, (*volume.scsiAddress)[0]);
  Store(request.buffer, address::kPathId, (*volume.scsiAddress)[1]);
  Store(request.buffer, address::kTargetId, (*volume.scsiAddress)[2]);
  request.bytesReturned = address::kSize;
  return 0;
}

}  // namespace

std::uint32_t VolumeDevice::Control(ControlRequest& request) {
  DriverTrace trace(request.trace);
  switch (request.ioctl) {
    case layout::kIoctlVolumeGetVolumeDiskExtents: return ServeExtents(volume_, request, trace);
    case layout::kIoctlScsiGetAddress: return ServeAddress(volume_, request, trace);
    default: return trace.Reject(driver_error::kInvalidFunction, "the volume does not serve this code");
  }
}

std::vector<std::uint8_t> DeriveDiskInformation(const std::vector<VolumeConfig>& volumes, std::uint32_t diskCount) {
  namespace record = disk_record;
  std::vector<std::uint8_t> value(record::kHeaderSize + record::kFirstDisk, 0);
  Store(value.data(), record::kDiskListOffset, record::kHeaderSize);
  Store(value.data() + record::kHeaderSize, record::kDiskCount, diskCount);
  for (std::uint32_t drive = 0; drive < diskCount; ++drive) {
    std::vector<char> letters;
    for (const VolumeConfig& volume : volumes) {
      if (std::find(volume.extents.begin(), volume.extents.end(), drive) != volume.extents.end()) {
        letters.push_back(volume.letter);
      }
    }
    const std::size_t disk = value.size();
    value.resize(disk + record::kFirstPartition + letters.size() * record::kPartitionSize, 0);
    Store(value.data() + disk, record::kPartitionCount, static_cast<std::uint32_t>(letters.size()));
    for (std::size_t p = 0; p < letters.size(); ++p) {
      std::uint8_t* partition = value.data() + disk + record::kFirstPartition + p * record::kPartitionSize;
      Store(partition, record::kDriveLetter, static_cast<std::uint8_t>(letters[p]));
    }
  }
  return value;
}

void BuildVolumes(Machine& machine, const MachineConfig& config) {
  std::uint32_t diskCount = 0;
  for (const PortConfig& port : config.ports) {
    for (const BusConfig& bus : port.buses) {
      for (const DeviceConfig& device : bus.devices) {
        if (device.physicalDrive) diskCount = std::max(diskCount, *device.physicalDrive + 1);
      }
    }
  }
  for (const VolumeConfig& volume : config.volumes) {
    for (const std::uint32_t disk : volume.extents) diskCount = std::max(diskCount, disk + 1);
    machine.AddVolume(volume);
    machine.AddDevice(std::string(1, volume.letter) + ":", std::make_shared<VolumeDevice>(volume));
    for (const auto& [name, data] : volume.files) {
      machine.files().Create(std::string(1, volume.letter) + ":\\" + name)->data = data;
    }
  }

  using Source = DiskInformationConfig::Source;
  if (config.diskInformation.source == Source::None) return;
  const std::vector<std::uint8_t> value = config.diskInformation.source == Source::Given
                                              ? config.diskInformation.value
                                              : DeriveDiskInformation(config.volumes, diskCount);
  machine.registry().localMachine().Create(kDiskInformationKey).SetValue(kDiskInformationValue,
                                                                       RegistryValue{REG_BINARY, value});
}

}  // namespace lumbrel::sim
