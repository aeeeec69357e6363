// MODE SENSE data is untrusted: a format reads the drive's mode page 0 and
// writes it back with two bits cleared, whatever lengths the page claims.
// The input is the page, page code byte first.
#include "drives/deep_format.h"
#include "one_drive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumbrel;
  sim::DeviceConfig disk = fuzz::SeagateDisk();
  disk.modePage0.emplace(data, data + size);
  disk.modePage0->resize(std::max<std::size_t>(size, 2));  // the drive's page code and length bytes
  fuzz::WithDrive(disk, [](ScsiAdapter& adapter) {
    ClearFormatModeBits(adapter, 0, 0);
    FormatDrive(adapter, 0, 0);
  });
  return 0;
}
