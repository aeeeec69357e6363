// The handle through which request blocks reach a driver: one Windows device
// object, opened by name, and synchronous DeviceIoControl calls on it.
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace lumbrel {

class DeviceHandle {
 public:
  // Open access flags.
  static constexpr std::uint8_t kRead = 0x01;
  static constexpr std::uint8_t kWrite = 0x02;
  static constexpr std::uint8_t kReadWrite = kRead | kWrite;
  // Transfer direction flags.
  static constexpr std::uint32_t kSend = 0x01;
  static constexpr std::uint32_t kReceive = 0x02;
  static constexpr std::uint32_t kSendReceive = kSend | kReceive;

  static constexpr std::uint32_t kRecordedNameSize = 80;

  DeviceHandle() = default;
  ~DeviceHandle() { Close(); }
  DeviceHandle(const DeviceHandle&) = delete;
  DeviceHandle& operator=(const DeviceHandle&) = delete;

  // Opens `name` for the given access (flags 0: device queries only). 0, or
  // the CreateFileA error, in which case the handle is left not open. A handle
  // that is already open is not closed first: the caller closes it.
  std::uint32_t Open(const char* name, std::uint8_t access);
  // Closes the handle if it is open; 0, or the CloseHandle error. The handle
  // is forgotten in every case.
  std::uint32_t Close();
  bool IsOpen() const { return handle != nullptr; }

  // One synchronous DeviceIoControl with `buffer` as input (when inputLength
  // is nonzero) and as output (when outputLength is nonzero). 0, the Windows
  // error, or 55 when the handle is not open (nothing is sent then).
  std::uint32_t Control(std::uint32_t ioctl, void* buffer, std::uint32_t inputLength, std::uint32_t outputLength);
  // Control with the same length in the directions that `direction` selects.
  std::uint32_t Transfer(std::uint32_t ioctl, void* buffer, std::uint32_t length, std::uint32_t direction);

  // Null when not open; INVALID_HANDLE_VALUE is never kept.
  HANDLE handle = nullptr;
  // The name last opened, zero-padded; not terminated when it fills all 80.
  char deviceName[kRecordedNameSize] = {};
};

}  // namespace lumbrel
