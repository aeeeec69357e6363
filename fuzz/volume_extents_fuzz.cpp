// The reply of IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS is untrusted: its
// extent count and disk numbers may be anything, and it may be short. The
// input is the reply of C:, then (after 00 FF) the reply of D:.
#include "drive_letters.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumbrel;
  const auto parts = fuzz::Split(data, size);
  std::vector<sim::VolumeConfig> volumes(2);
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    volumes[i].letter = static_cast<char>('C' + i);
    volumes[i].extentsReply = i < parts.size() ? parts[i] : fuzz::Bytes{};
  }
  fuzz::InstallOnce(volumes, false);
  for (const sim::VolumeConfig& volume : volumes) fuzz::ReplaceVolume(volume);
  fuzz::RebuildAndCheck();
  return 0;
}
