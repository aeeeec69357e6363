// The registry's disk configuration record is untrusted: its disk list
// offset, disk and partition counts and letters may be anything. Volumes
// without extents or SCSI addresses make the map read the record.
#include "drive_letters.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumbrel;
  sim::MachineConfig config = fuzz::DiskMachine();
  sim::VolumeConfig volume;
  volume.extentsFail = true;
  config.volumes.push_back(volume);
  config.diskInformation.source = sim::DiskInformationConfig::Source::Given;
  config.diskInformation.value.assign(data, data + size);
  fuzz::Install(config);
  fuzz::RebuildAndCheck();
  return 0;
}
