#include "drives/deep_format.h"

#include <algorithm>

#include "drives/unit_ready.h"

namespace lumbrel {
namespace {

constexpr std::uint32_t kReadCheckBlock = 0x000304;  // the block that must be readable before a format

}  // namespace

std::uint32_t ClearFormatModeBits(ScsiAdapter& adapter, std::uint32_t bus, std::uint32_t target) {
  using namespace mode_page0;
  // Mode data that is shorter than it claims reads as zeros past its end,
  // so that no leftover bytes go back to the drive in the MODE SELECT.
  if (adapter.ExecuteInCleared(bus, target, cdb::ModeSense6(PageControl::Current, 0, kSenseLength)) != 0) return 0;
  std::uint8_t* data = adapter.GetDataBuffer(0);
  if (data == nullptr || data[kPageLength] < kShortestPage) return 0;
  if ((data[kFirstFlags] & kFirstFlagMask) == 0 && (data[kSecondFlags] & kSecondFlagMask) == 0) return 0;
  data[kPageCode] &= static_cast<std::uint8_t>(~kParametersSaveable);
  data[kFirstFlags] &= static_cast<std::uint8_t>(~kFirstFlagMask);
  data[kSecondFlags] &= static_cast<std::uint8_t>(~kSecondFlagMask);
  const std::uint8_t length = data[kDataLength];
  data[kDataLength] = 0;
  // The whole mode data that MODE SENSE returned: the length byte counts
  // the bytes after itself, and no more than MODE SENSE asked for came back.
  const auto listLength = static_cast<std::uint8_t>(std::min<std::uint32_t>(length + 1u, kSenseLength));
  return adapter.ExecuteOut(bus, target, cdb::ModeSelect6(listLength));
}

std::uint32_t FormatDrive(ScsiAdapter& adapter, std::uint32_t bus, std::uint32_t target) {
  const TargetSession session(adapter, bus, target);
  std::uint32_t result = session.result();
  if (result == 0) result = TestUnitReadyRetry(adapter, bus, target);
  if (result == 0) result = adapter.ExecuteIn(bus, target, cdb::Read6(kReadCheckBlock, 1));
  if (result == 0) result = ClearFormatModeBits(adapter, bus, target);
  if (result == 0) result = adapter.ExecuteIn(bus, target, cdb::FormatUnit());
  return result;
}

}  // namespace lumbrel
