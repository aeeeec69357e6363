// The data phase of one SCSI command: the initiator's data area and the
// direction that its request declared.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

namespace lumbrel::sim {

enum class DataDirection : std::uint8_t {
  None,    // no data expected
  In,      // device to initiator
  Out,     // initiator to device
  Either,  // the request leaves the direction to the command
};

class DataPhase {
 public:
  DataPhase() = default;
  DataPhase(DataDirection direction, std::uint8_t* area, std::uint32_t length)
      : direction_(direction), area_(area), length_(area == nullptr ? 0 : length) {}

  DataDirection direction() const { return direction_; }
  // The length of the initiator's data area.
  std::uint32_t length() const { return length_; }

  // Device to initiator: room for the first `wanted` bytes, cut to the
  // initiator's area (an overrun is cut silently, as host adapters report
  // it as success). Data against the declared direction is a phase error.
  std::span<std::uint8_t> In(std::uint32_t wanted) {
    if (wanted == 0) return {};
    if (direction_ == DataDirection::Out) {
      phaseError_ = true;
      return {};
    }
    const std::uint32_t n = std::min(wanted, length_);
    transferred_ = n;
    reached_ = std::max(reached_, n);
    return {area_, n};
  }

  // Initiator to device: exactly `wanted` bytes. An initiator that offers
  // fewer, or declared input, makes a phase error and the span is empty.
  std::span<const std::uint8_t> Out(std::uint32_t wanted) {
    if (wanted == 0) return {};
    if (direction_ == DataDirection::In || direction_ == DataDirection::None || length_ < wanted) {
      phaseError_ = true;
      return {};
    }
    transferred_ = wanted;
    return {area_, wanted};
  }

  // Takes back the bytes a device left unsent (its residual count).
  void Shorten(std::uint32_t residual) { transferred_ -= std::min(residual, transferred_); }

  std::uint32_t transferred() const { return transferred_; }
  // The bytes at the start of the area that the device was given to write
  // (a residual does not take them back); the rest is as the initiator left it.
  std::uint32_t reached() const { return reached_; }
  bool phaseError() const { return phaseError_; }

 private:
  DataDirection direction_ = DataDirection::None;
  std::uint8_t* area_ = nullptr;
  std::uint32_t length_ = 0;
  std::uint32_t transferred_ = 0;
  std::uint32_t reached_ = 0;
  bool phaseError_ = false;
};

}  // namespace lumbrel::sim
