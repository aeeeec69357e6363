#include "sim/volume_device.h"

#include <algorithm>
#include <cstring>

#include "drives/disk_information.h"
#include "drives/volume_disk_extents.h"
#include "platform/win32.h"
#include "scsi/control_codes.h"
#include "scsi/scsi_address.h"
#include "sim/machine_description.h"
#include "sim/scsi/driver_errors.h"
#include "sim/scsi/driver_trace.h"

namespace lumbrel::sim {
namespace {

constexpr std::uint64_t kFirstPartitionOffset = 32256;  // 63 sectors, as disks of the time were partitioned
constexpr std::uint64_t kExtentLength = 0x40000000;      // 1 GiB each; the library does not read it

std::uint32_t ServeRaw(const std::vector<std::uint8_t>& reply, ControlRequest& request) {
  const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(reply.size(), request.outputLength));
  std::copy_n(reply.begin(), length, request.buffer);
  request.bytesReturned = length;
  return 0;
}

std::uint32_t ServeExtents(const VolumeConfig& volume, ControlRequest& request, DriverTrace& trace) {
  namespace layout = volume_disk_extents;
  if (volume.extentsFail) return trace.Reject(driver_error::kInvalidFunction, "the volume's driver has no extents");
  if (volume.extentsReply) return ServeRaw(*volume.extentsReply, request);
  // The structure itself has room for one extent.
  if (request.outputLength < layout::kFirstExtent + layout::extent::kSize) {
    return trace.Reject(driver_error::kInsufficientBuffer, "output shorter than VOLUME_DISK_EXTENTS");
  }
  const auto count = static_cast<std::uint32_t>(volume.extents.size());
  if (request.outputLength < layout::kFirstExtent + count * layout::extent::kSize) {
    return trace.Reject(std::uint32_t{ERROR_MORE_DATA}, "more extents than the output holds");
  }
  std::memset(request.buffer, 0, request.outputLength);
  Put32(request.buffer, layout::kNumberOfDiskExtents, count);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint8_t* extent = request.buffer + layout::kFirstExtent + i * layout::extent::kSize;
    Put32(extent, layout::extent::kDiskNumber, volume.extents[i]);
    StoreLe64(extent + layout::extent::kStartingOffset.offset, kFirstPartitionOffset);
    StoreLe64(extent + layout::extent::kExtentLength.offset, kExtentLength);
  }
  request.bytesReturned = layout::kFirstExtent + std::max<std::uint32_t>(count, 1) * layout::extent::kSize;
  return 0;
}

std::uint32_t ServeAddress(const VolumeConfig& volume, ControlRequest& request, DriverTrace& trace) {
  namespace address = scsi_address;
  if (volume.scsiAddressReply) return ServeRaw(*volume.scsiAddressReply, request);
  if (!volume.scsiAddress) return trace.Reject(driver_error::kInvalidFunction, "the volume's driver has no SCSI address");
  if (request.outputLength < address::kSize) {
    return trace.Reject(driver_error::kInsufficientBuffer, "output shorter than SCSI_ADDRESS");
  }
  std::memset(request.buffer, 0, address::kSize);
  Put32(request.buffer, address::kLength, address::kSize);
  Put8(request.buffer, address::kPortNumber, (*volume.scsiAddress)[0]);
  Put8(request.buffer, address::kPathId, (*volume.scsiAddress)[1]);
  Put8(request.buffer, address::kTargetId, (*volume.scsiAddress)[2]);
  request.bytesReturned = address::kSize;
  return 0;
}

}  // namespace

std::uint32_t VolumeDevice::Control(ControlRequest& request) {
  DriverTrace trace(request.trace);
  switch (request.ioctl) {
    case kIoctlVolumeGetVolumeDiskExtents: return ServeExtents(volume_, request, trace);
    case kIoctlScsiGetAddress: return ServeAddress(volume_, request, trace);
    default: return trace.Reject(driver_error::kInvalidFunction, "the volume does not serve this code");
  }
}

std::vector<std::uint8_t> DeriveDiskInformation(const std::vector<VolumeConfig>& volumes, std::uint32_t diskCount) {
  namespace layout = disk_information;
  constexpr std::uint32_t kListOffset = layout::kDiskListOffset.end();
  std::vector<std::uint8_t> value(kListOffset + layout::disk_list::kFirstDisk, 0);
  StoreLe32(value.data() + layout::kDiskListOffset.offset, kListOffset);
  StoreLe16(value.data() + kListOffset + layout::disk_list::kDiskCount.offset, static_cast<std::uint16_t>(diskCount));
  for (std::uint32_t disk = 0; disk < diskCount; ++disk) {
    std::vector<char> letters;
    for (const VolumeConfig& volume : volumes) {
      if (std::find(volume.extents.begin(), volume.extents.end(), disk) != volume.extents.end()) {
        letters.push_back(volume.letter);
      }
    }
    const std::size_t record = value.size();
    value.resize(record + layout::disk::kPartitionsOffset + letters.size() * layout::partition::kSize, 0);
    StoreLe16(value.data() + record + layout::disk::kPartitionCount.offset, static_cast<std::uint16_t>(letters.size()));
    for (std::size_t p = 0; p < letters.size(); ++p) {
      const std::size_t partition = record + layout::disk::kPartitionsOffset + p * layout::partition::kSize;
      value[partition + layout::partition::kDriveLetter.offset] = static_cast<std::uint8_t>(letters[p]);
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
  machine.registry().localMachine().Create(disk_information::kKey).SetValue(disk_information::kValue,
                                                                            RegistryValue{REG_BINARY, value});
}

}  // namespace lumbrel::sim
