// The registry's disk configuration record is untrusted: its disk list
// offset, disk and partition counts and letters may be anything. A volume
// without extents or SCSI address makes the map read the record.
#include "drives/disk_information.h"
#include "drive_letters.h"
#include "platform/host/win32_subset.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumbrel;
  sim::VolumeConfig volume;
  volume.extentsFail = true;
  fuzz::InstallOnce({volume}, true);
  sim::CurrentMachine().registry().localMachine().Create(disk_information::kKey).SetValue(
      disk_information::kValue, sim::RegistryValue{REG_BINARY, fuzz::Bytes(data, data + size)});
  fuzz::RebuildAndCheck();
  return 0;
}
