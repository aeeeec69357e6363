#include "scsi/device_handle.h"

#include "result_codes.h"
#include "platform/text.h"

namespace lumbrel {

std::uint32_t DeviceHandle::Open(const char* name, std::uint8_t access) {
  DWORD desired = 0;
  if ((access & kRead) != 0) desired |= GENERIC_READ;
  if ((access & kWrite) != 0) desired |= GENERIC_WRITE;
  HANDLE opened = CreateFileA(name, desired, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    handle = nullptr;
    return GetLastError();
  }
  handle = opened;
  CopyPadded(deviceName, sizeof deviceName, name);
  return 0;
}

std::uint32_t DeviceHandle::Close() {
  std::uint32_t result = 0;
  if (handle != nullptr && !CloseHandle(handle)) result = GetLastError();
  handle = nullptr;
  return result;
}

std::uint32_t DeviceHandle::Control(std::uint32_t ioctl, void* buffer, std::uint32_t inputLength,
                                    std::uint32_t outputLength) {
  if (!IsOpen()) return kBadBusOrClosedHandle;
  DWORD returned = 0;  // the byte count is not used: each format says where its answer lies
  const BOOL ok = DeviceIoControl(handle, ioctl, inputLength != 0 ? buffer : nullptr, inputLength,
                                  outputLength != 0 ? buffer : nullptr, outputLength, &returned, nullptr);
  return ok ? 0 : GetLastError();
}

std::uint32_t DeviceHandle::Transfer(std::uint32_t ioctl, void* buffer, std::uint32_t length, std::uint32_t direction) {
  return Control(ioctl, buffer, (direction & kSend) != 0 ? length : 0, (direction & kReceive) != 0 ? length : 0);
}

}  // namespace lumbrel
