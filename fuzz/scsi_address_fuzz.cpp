// The reply of IOCTL_SCSI_GET_ADDRESS is untrusted: it may be short or name
// any address. Volumes without extents make the map ask each volume for its
// address; the input is the reply of C:, then (after 00 FF) that of D:.
#include "drive_letters.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumbrel;
  const auto parts = fuzz::Split(data, size);
  sim::MachineConfig config = fuzz::DiskMachine();
  for (std::size_t i = 0; i < parts.size() && i < 2; ++i) {
    sim::VolumeConfig volume;
    volume.letter = static_cast<char>('C' + i);
    volume.extentsFail = true;
    volume.scsiAddressReply = parts[i];
    config.volumes.push_back(volume);
  }
  config.diskInformation.source = sim::DiskInformationConfig::Source::None;
  fuzz::Install(config);
  fuzz::RebuildAndCheck();
  return 0;
}
