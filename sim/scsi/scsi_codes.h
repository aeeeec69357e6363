// SCSI codes the simulated drives and drivers use, and the fixed-format
// sense data they return.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace lumbrel::sim::scsi {

// Operation codes.
inline constexpr std::uint8_t kTestUnitReady = 0x00;
inline constexpr std::uint8_t kRequestSense = 0x03;
inline constexpr std::uint8_t kFormatUnit = 0x04;
inline constexpr std::uint8_t kRead6 = 0x08;
inline constexpr std::uint8_t kWrite6 = 0x0A;
inline constexpr std::uint8_t kInquiry = 0x12;
inline constexpr std::uint8_t kModeSelect6 = 0x15;
inline constexpr std::uint8_t kModeSense6 = 0x1A;
inline constexpr std::uint8_t kStartStopUnit = 0x1B;
inline constexpr std::uint8_t kReadCapacity = 0x25;
inline constexpr std::uint8_t kRead10 = 0x28;
inline constexpr std::uint8_t kWrite10 = 0x2A;
inline constexpr std::uint8_t kWriteBuffer = 0x3B;
inline constexpr std::uint8_t kLogSelect = 0x4C;
inline constexpr std::uint8_t kLogSense = 0x4D;

// Status bytes.
inline constexpr std::uint8_t kGood = 0x00;
inline constexpr std::uint8_t kCheckCondition = 0x02;
inline constexpr std::uint8_t kBusy = 0x08;

// Sense keys.
inline constexpr std::uint8_t kNoSense = 0x0;
inline constexpr std::uint8_t kNotReady = 0x2;
inline constexpr std::uint8_t kMediumError = 0x3;
inline constexpr std::uint8_t kHardwareError = 0x4;
inline constexpr std::uint8_t kIllegalRequest = 0x5;

inline constexpr std::uint32_t kBlockSize = 512;

// Fixed-format sense data (response code 0x70), 18 bytes.
struct Sense {
  static constexpr std::uint32_t kLength = 18;
  constexpr Sense() = default;
  constexpr Sense(std::uint8_t senseKey, std::uint8_t code, std::uint8_t qualifier)
      : key(senseKey), asc(code), ascq(qualifier) {}

  std::uint8_t key = kNoSense;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
  // The information field (bytes 3-6, with VALID set): the failing block of a medium error.
  std::optional<std::uint32_t> information;

  constexpr Sense WithInformation(std::uint32_t value) const {
    Sense sense = *this;
    sense.information = value;
    return sense;
  }

  std::array<std::uint8_t, kLength> Bytes() const {
    std::array<std::uint8_t, kLength> bytes{};
    bytes[0] = 0x70;
    if (information) {
      bytes[0] |= 0x80;
      for (int i = 0; i < 4; ++i) bytes[3 + i] = static_cast<std::uint8_t>(*information >> (24 - 8 * i));
    }
    bytes[2] = key;
    bytes[7] = kLength - 8;  // additional sense length
    bytes[12] = asc;
    bytes[13] = ascq;
    return bytes;
  }
};

// The conditions the drives and controllers report.
inline constexpr Sense kBecomingReady{kNotReady, 0x04, 0x01};
inline constexpr Sense kStartUnitRequired{kNotReady, 0x04, 0x02};
inline constexpr Sense kFormatInProgress{kNotReady, 0x04, 0x04};
inline constexpr Sense kUnrecoveredReadError{kMediumError, 0x11, 0x00};
inline constexpr Sense kParameterListLengthError{kIllegalRequest, 0x1A, 0x00};
inline constexpr Sense kInvalidOpcode{kIllegalRequest, 0x20, 0x00};
inline constexpr Sense kLbaOutOfRange{kIllegalRequest, 0x21, 0x00};
inline constexpr Sense kInvalidFieldInCdb{kIllegalRequest, 0x24, 0x00};
inline constexpr Sense kLunNotSupported{kIllegalRequest, 0x25, 0x00};
inline constexpr Sense kInvalidFieldInParameterList{kIllegalRequest, 0x26, 0x00};
inline constexpr Sense kTargetTimeout{kHardwareError, 0x3E, 0x02};

// The CDB length that an operation code's group implies; 0 for the vendor
// groups, whose length the command itself defines.
constexpr std::uint32_t GroupCdbLength(std::uint8_t opcode) {
  switch (opcode >> 5) {
    case 0: return 6;
    case 1:
    case 2: return 10;
    case 4: return 16;
    case 5: return 12;
    default: return 0;
  }
}

}  // namespace lumbrel::sim::scsi
