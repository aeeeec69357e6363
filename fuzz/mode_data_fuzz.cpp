// MODE SENSE data is untrusted: a format reads the drive's mode page 0 and
// writes it back with two bits cleared, whatever lengths the data claims.
// The input is the whole MODE SENSE(6) reply, header first.
#include "drives/deep_format.h"
#include "scripted_port.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumbrel;
  fuzz::ScriptedPort& port = fuzz::InstallScriptedPort();
  port.replies[scsi_op::kModeSense6].assign(data, data + size);
  fuzz::WithAdapter([](ScsiAdapter& adapter) {
    ClearFormatModeBits(adapter, 0, 0);
    FormatDrive(adapter, 0, 1);
  });
  return 0;
}
