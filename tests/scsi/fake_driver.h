// A scripted driver behind a device name, for tests that must see the exact
// request blocks that reach a driver and choose what the driver answers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scsi/control_codes.h"
#include "scsi/scsi_address.h"
#include "sim/device.h"
#include "sim/simulator.h"

namespace lumbrel::test {

class FakeDriver : public sim::Device {
 public:
  struct Request {
    std::uint32_t ioctl;
    std::vector<std::uint8_t> input;  // the input bytes as the driver received them
    std::uint32_t inputLength;
    std::uint32_t outputLength;
  };
  using Answer = std::function<std::uint32_t(sim::ControlRequest&)>;

  std::uint32_t Open(std::uint32_t access) override {
    opens.push_back(access);
    return openError;
  }
  std::uint32_t Control(sim::ControlRequest& request) override {
    requests.push_back({request.ioctl, std::vector<std::uint8_t>(request.buffer, request.buffer + request.inputLength),
                        request.inputLength, request.outputLength});
    request.bytesReturned = request.outputLength;
    return answer ? answer(request) : 0;
  }

  std::uint32_t openError = 0;
  Answer answer;  // none: success, the buffer returned as it is
  std::vector<std::uint32_t> opens;
  std::vector<Request> requests;
};

// Registers a fake driver under "\\.\NAME" of the current machine.
inline std::shared_ptr<FakeDriver> AddFakeDevice(const std::string& name) {
  auto driver = std::make_shared<FakeDriver>();
  sim::CurrentMachine().AddDevice(name, driver);
  return driver;
}

// A class-driver device that answers IOCTL_SCSI_GET_ADDRESS with its address
// and every other request with `commands` (none: success, buffer unchanged).
inline std::shared_ptr<FakeDriver> AddClassDevice(const std::string& name, std::uint8_t port, std::uint8_t path,
                                                  std::uint8_t target, FakeDriver::Answer commands = nullptr) {
  auto driver = AddFakeDevice(name);
  driver->answer = [=](sim::ControlRequest& request) -> std::uint32_t {
    if (request.ioctl != kIoctlScsiGetAddress) return commands ? commands(request) : 0;
    Put32(request.buffer, scsi_address::kLength, scsi_address::kSize);
    Put8(request.buffer, scsi_address::kPortNumber, port);
    Put8(request.buffer, scsi_address::kPathId, path);
    Put8(request.buffer, scsi_address::kTargetId, target);
    Put8(request.buffer, scsi_address::kLun, 0);
    request.bytesReturned = scsi_address::kSize;
    return 0;
  };
  return driver;
}

}  // namespace lumbrel::test
