#include "sim/scsi/driver_trace.h"

#include "sim/text_util.h"

namespace lumbrel::sim {

void DriverTrace::Command(const ScsiPort& port, std::uint32_t bus, std::uint32_t target,
                          std::span<const std::uint8_t> cdb, const Delivery& delivery) {
  if (record_ == nullptr) return;
  nlohmann::ordered_json scsi;
  scsi["port"] = port.number();
  scsi["bus"] = bus;
  scsi["target"] = target;
  scsi["cdb"] = Hex(cdb.data(), cdb.size());
  switch (delivery.reach) {
    case Delivery::Reach::Absent:
      scsi["reach"] = "absent";
      break;
    case Delivery::Reach::Silent:
      scsi["reach"] = "silent";
      break;
    case Delivery::Reach::Answered:
      scsi["reach"] = delivery.result.fromDevice ? "device" : "answered";
      scsi["status"] = delivery.result.status;
      scsi["transferred"] = delivery.result.transferred;
      if (delivery.result.phaseError) scsi["phaseError"] = true;
      if (delivery.result.milliseconds != 0) scsi["milliseconds"] = delivery.result.milliseconds;
      break;
  }
  record_->Set("scsi", std::move(scsi));
}

}  // namespace lumbrel::sim
