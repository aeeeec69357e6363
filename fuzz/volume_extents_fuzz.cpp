// The reply of IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS is untrusted: its
// extent count and disk numbers may be anything, and it may be short. The
// input is the reply of C:, then (after 00 FF) the reply of D:.
#include "drive_letters.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumbrel;
  const auto parts = fuzz::Split(data, size);
  sim::MachineConfig config = fuzz::DiskMachine();
  for (std::size_t i = 0; i < parts.size() && i < 2; ++i) {
    sim::VolumeConfig volume;
    volume.letter = static_cast<char>('C' + i);
    volume.extentsReply = parts[i];
    config.volumes.push_back(volume);
  }
  config.diskInformation.source = sim::DiskInformationConfig::Source::None;
  fuzz::Install(config);
  fuzz::RebuildAndCheck();
  return 0;
}
