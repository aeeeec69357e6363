// Standard INQUIRY data built from a device configuration.
#include <algorithm>

#include "sim/scsi/scsi_drive.h"

namespace lumbrel::sim {
namespace {

constexpr std::size_t kStandardLength = 36;

void PutPadded(std::vector<std::uint8_t>& data, std::size_t offset, std::size_t width, const std::string& text) {
  for (std::size_t i = 0; i < width; ++i) {
    data[offset + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
  }
}

}  // namespace

std::vector<std::uint8_t> BuildInquiryData(const DeviceConfig& config) {
  if (config.inquiry) return *config.inquiry;
  std::vector<std::uint8_t> data(kStandardLength + config.serial.size(), 0);
  data[0] = static_cast<std::uint8_t>((config.qualifier & 0x07) << 5 | (config.type & 0x1F));
  const bool removable = config.removable.value_or(config.type == 5 || config.type == 7);
  data[1] = removable ? 0x80 : 0x00;
  data[2] = 0x02;  // SCSI-2
  data[3] = 0x02;  // response data format
  data[4] = static_cast<std::uint8_t>(data.size() - 5);
  data[7] = 0x12;  // synchronous transfers, command queuing
  PutPadded(data, 8, 8, config.vendor);
  PutPadded(data, 16, 16, config.product);
  PutPadded(data, 32, 4, config.revision);
  std::copy(config.serial.begin(), config.serial.end(), data.begin() + kStandardLength);
  return data;
}

}  // namespace lumbrel::sim
