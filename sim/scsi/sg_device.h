// A real SCSI device behind a simulated drive: each command the drive
// receives runs on the device through Linux's SG_IO, with the data direction
// and length that the initiator's request declared, and the device's status,
// sense data and residual count come back as the drive's answer.
//
// Linux host build only; elsewhere Open refuses every device.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "sim/scsi/data_phase.h"

namespace lumbrel::sim {

// How one command ended on the device.
struct DeviceAnswer {
  bool answered = false;  // false: the device or its host adapter did not complete the command
  std::uint8_t status = 0;
  std::vector<std::uint8_t> sense;  // the sense data that came with a CHECK CONDITION
};

class SgDevice {
 public:
  // Opens `path` (a SCSI generic or disk device node). Throws
  // MachineFormatError naming the device when it cannot be opened, is no
  // SCSI device, or holds a mounted file system that the operator, asked on
  // a terminal, does not give up.
  static std::unique_ptr<SgDevice> Open(const std::string& path);
  ~SgDevice();
  SgDevice(const SgDevice&) = delete;
  SgDevice& operator=(const SgDevice&) = delete;

  const std::string& path() const { return path_; }
  // Runs one command; the data moves through `data`.
  DeviceAnswer Run(std::span<const std::uint8_t> cdb, DataPhase& data);

 private:
  SgDevice(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  std::string path_;
  int fd_;
};

}  // namespace lumbrel::sim
