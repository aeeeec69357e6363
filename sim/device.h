// A device object in the simulated Windows device namespace ("\\.\NAME").
#pragma once

#include <cstdint>
#include <string>

namespace lumbrel::sim {

class TraceRecord;

// One DeviceIoControl request as a METHOD_BUFFERED driver receives it: the
// input has been copied into a system buffer, which the driver overwrites
// with its output; the caller's own buffers are known by address only.
struct ControlRequest {
  std::uint32_t ioctl = 0;
  std::uint8_t* buffer = nullptr;  // system buffer: max(input, output) bytes
  std::uint32_t inputLength = 0;
  std::uint32_t outputLength = 0;
  const void* userInput = nullptr;
  void* userOutput = nullptr;
  std::uint32_t bytesReturned = 0;  // set by the driver
  // Set by a driver that changed no byte of the buffer at or beyond this
  // offset: what lies there is still the input as copied in.
  std::uint32_t changedEnd = UINT32_MAX;
  // The trace record of the call, for what the driver adds; null while the
  // trace is off.
  TraceRecord* trace = nullptr;
};

class Device {
 public:
  virtual ~Device() = default;

  // Whether CreateFileA may open the device with this access; 0 or a Windows
  // error code (for example 2 when the driver behind the name is not loaded).
  virtual std::uint32_t Open(std::uint32_t desiredAccess) {
    (void)desiredAccess;
    return 0;
  }

  // Serves one control request; 0 or a Windows error code, which
  // DeviceIoControl reports through GetLastError.
  virtual std::uint32_t Control(ControlRequest& request) = 0;
};

}  // namespace lumbrel::sim
