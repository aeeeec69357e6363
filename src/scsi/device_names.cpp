#include "scsi/device_names.h"

#include <cstdio>

namespace lumbrel {

void FormatClassDeviceName(char* name, std::uint32_t format, std::uint32_t number) {
  const auto n = static_cast<unsigned>(number);
  if (format == 0) {
    std::snprintf(name, kDeviceNameBufferSize, "\\\\.\\PhysicalDrive%u", n);
  } else {
    std::snprintf(name, kDeviceNameBufferSize, "\\\\.\\Scanner%u", n);
  }
}

void FormatPortDeviceName(char* name, std::uint32_t port) {
  std::snprintf(name, kDeviceNameBufferSize, "\\\\.\\SCSI%u:", static_cast<unsigned>(port));
}

void FormatControllerDeviceName(char* name, std::uint32_t controller) {
  std::snprintf(name, kDeviceNameBufferSize, "\\\\.\\QZV%u", static_cast<unsigned>(controller));
}

}  // namespace lumbrel
