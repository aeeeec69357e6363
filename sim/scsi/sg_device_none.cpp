// Builds without Linux's SCSI generic driver reach no real device.
#include "sim/machine_format_error.h"
#include "sim/scsi/sg_device.h"

namespace lumbrel::sim {

std::unique_ptr<SgDevice> SgDevice::Open(const std::string& path) {
  throw MachineFormatError("real SCSI device " + path + ": only the Linux host build reaches real devices");
}

SgDevice::~SgDevice() { static_cast<void>(fd_); }

DeviceAnswer SgDevice::Run(std::span<const std::uint8_t>, DataPhase&) { return {}; }

}  // namespace lumbrel::sim
