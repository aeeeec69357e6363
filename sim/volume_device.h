// "\\.\X:": the device of a volume. It answers the disk extents the volume
// lies on and, where the volume's storage driver supports it, the SCSI
// address of the disk beneath it.
#pragma once

#include "sim/device.h"
#include "sim/volume_config.h"

namespace lumbrel::sim {

class Machine;
struct MachineConfig;

class VolumeDevice : public Device {
 public:
  explicit VolumeDevice(VolumeConfig volume) : volume_(std::move(volume)) {}
  std::uint32_t Control(ControlRequest& request) override;

 private:
  VolumeConfig volume_;
};

// The volumes of a machine: their devices, their files and the registry's
// disk configuration record.
void BuildVolumes(Machine& machine, const MachineConfig& config);

// Where Windows keeps its disk configuration record: the value
// "Information" of this key under HKEY_LOCAL_MACHINE.
inline constexpr const char* kDiskInformationKey = "SYSTEM\\DISK";
inline constexpr const char* kDiskInformationValue = "Information";

// The "Information" value that Windows would keep for these volumes: one
// disk record per physical drive 0 .. diskCount - 1, each with a partition
// per volume that has the drive among its extents.
std::vector<std::uint8_t> DeriveDiskInformation(const std::vector<VolumeConfig>& volumes, std::uint32_t diskCount);

}  // namespace lumbrel::sim
