// LOG SENSE replies are untrusted: the supported-pages list may claim any
// page length, and the parameters of page 0x32 may be short. The input is
// the reply the drive gives to every LOG SENSE.
#include <cstdlib>
#include <cstring>

#include "drives/log_pages.h"
#include "scripted_port.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumbrel;
  static const DriveIdentifier identifier;
  fuzz::ScriptedPort& port = fuzz::InstallScriptedPort();
  port.replies[scsi_op::kLogSense].assign(data, data + size);
  fuzz::WithAdapter([](ScsiAdapter& adapter) {
    CheckLogPageSupport(adapter, identifier, 0, 0);
    std::uint8_t page[kLogPageDataSize + 1];
    std::memset(page, 0xA5, sizeof page);
    ReadLogPage(adapter, identifier, 0, 0, page, kLogPageDataSize);
    if (page[kLogPageDataSize] != 0xA5) std::abort();  // never more than the size given
    WriteLogPage(adapter, identifier, 0, 0, page, kLogPageDataSize, LogWriteChecked);
  });
  return 0;
}
