// The reply of IOCTL_SCSI_GET_ADDRESS is untrusted: it may be short or name
// any address. Volumes without extents make the map ask each volume for its
// address; the input is the reply of C:, then (after 00 FF) that of D:.
#include "drive_letters.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumbrel;
  const auto parts = fuzz::Split(data, size);
  std::vector<sim::VolumeConfig> volumes(2);
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    volumes[i].letter = static_cast<char>('C' + i);
    volumes[i].extentsFail = true;
    volumes[i].scsiAddressReply = i < parts.size() ? parts[i] : fuzz::Bytes{};
  }
  fuzz::InstallOnce(volumes, false);
  for (const sim::VolumeConfig& volume : volumes) fuzz::ReplaceVolume(volume);
  fuzz::RebuildAndCheck();
  return 0;
}
