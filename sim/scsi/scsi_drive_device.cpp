// A drive whose answers come from a real device (DeviceConfig::sg).
#include <algorithm>

#include "sim/scsi/scsi_drive.h"

namespace lumbrel::sim {

using namespace scsi;

void ScsiDrive::AttachDevice(const std::string& path) {
  device_ = SgDevice::Open(path);
  // The device's own INQUIRY data is the drive's identity (what an
  // operator sees of it); INQUIRY leaves unit attentions pending.
  std::uint8_t identity[96] = {};
  DataPhase data(DataDirection::In, identity, sizeof identity);
  const std::uint8_t inquiry[6] = {kInquiry, 0, 0, 0, sizeof identity, 0};
  if (device_->Run(inquiry, data).status == kGood && data.transferred() != 0) {
    inquiry_.assign(identity, identity + data.transferred());
  }
}

CommandResult ScsiDrive::RunOnDevice(std::span<const std::uint8_t> cdb, DataPhase& data) {
  CommandResult result;
  result.fromDevice = true;
  // The device handed over the last command's sense data with it; a REQUEST
  // SENSE that asks for it now gets it from here, as the device would have given it.
  if (cdb.size() >= 6 && cdb[0] == kRequestSense && !deviceSense_.empty()) {
    const auto out = data.In(std::min<std::uint32_t>(cdb[4], static_cast<std::uint32_t>(deviceSense_.size())));
    std::copy_n(deviceSense_.begin(), out.size(), out.begin());
    deviceSense_.clear();
    return result;
  }
  DeviceAnswer answer = device_->Run(cdb, data);
  deviceSense_ = std::move(answer.sense);
  result.unanswered = !answer.answered;
  result.status = answer.status;
  const bool read = !cdb.empty() && (cdb[0] == kRead6 || cdb[0] == kRead10);
  if (read && answer.answered && answer.status == kGood) {
    log_.AddBlocks(data.transferred() / kBlockSize, 0);
    ++state_.readsServed;
  }
  return result;
}

std::uint32_t ScsiDrive::TakeDeviceSense(std::span<std::uint8_t> out) {
  const auto n = static_cast<std::uint32_t>(std::min(out.size(), deviceSense_.size()));
  std::copy_n(deviceSense_.begin(), n, out.begin());
  deviceSense_.clear();
  return n;
}

}  // namespace lumbrel::sim
