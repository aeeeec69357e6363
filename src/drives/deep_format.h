// The low-level format of one drive: once the drive is ready and readable,
// two bits of its mode page 0 are cleared when set, then FORMAT UNIT.
#pragma once

#include <cstdint>

#include "scsi/scsi_adapter.h"

namespace lumbrel {

// The mode data of page 0 as MODE SENSE(6) with DBD returns it.
namespace mode_page0 {
inline constexpr std::uint32_t kDataLength = 0;  // mode data length; reserved (0) in MODE SELECT data
inline constexpr std::uint32_t kPageCode = 4;    // bit 7: PS
inline constexpr std::uint32_t kPageLength = 5;
inline constexpr std::uint32_t kFirstFlags = 18;   // bit 3 cleared before a format
inline constexpr std::uint32_t kSecondFlags = 19;  // bit 2 cleared before a format
inline constexpr std::uint8_t kParametersSaveable = 0x80;
inline constexpr std::uint8_t kFirstFlagMask = 0x08;
inline constexpr std::uint8_t kSecondFlagMask = 0x04;
inline constexpr std::uint8_t kShortestPage = 14;  // a page that reaches both flag bytes
inline constexpr std::uint8_t kSenseLength = 255;
}  // namespace mode_page0

// The format job: BeginTarget, TEST UNIT READY (with one retry), READ(6)
// of block 772, the mode page step, FORMAT UNIT; the first failure ends it
// and is its result. EndTarget runs in every case.
std::uint32_t FormatDrive(ScsiAdapter& adapter, std::uint32_t bus, std::uint32_t target);

// MODE SENSE of page 0 and, when either flag bit is set, MODE SELECT of the
// same data with the bits (and PS) cleared. Only a failing MODE SELECT fails.
std::uint32_t ClearFormatModeBits(ScsiAdapter& adapter, std::uint32_t bus, std::uint32_t target);

}  // namespace lumbrel
