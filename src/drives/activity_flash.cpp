#include "drives/activity_flash.h"

#include <algorithm>

#include "platform/win32.h"
#include "result_codes.h"

namespace lumbrel {
namespace {

constexpr std::uint32_t kBlockSize = 512;
constexpr std::uint32_t kBlocksPerRead = 4;
constexpr std::uint32_t kFirstBlock = 0x0204;  // then 0x0304, 0x0404, ...
constexpr std::uint32_t kBlockStep = 0x0100;

// The targets a job flashes: every present one of the bus, or one.
std::uint16_t TargetMask(ScsiAdapter& adapter, std::uint32_t bus, std::uint32_t target) {
  if (target == kAllTargets) return adapter.PresentTargets(bus);
  return target < ScsiAdapter::kTargetCount ? static_cast<std::uint16_t>(1u << target) : 0;
}

}  // namespace

std::uint32_t FlashReadTarget(ScsiAdapter& adapter, std::uint32_t bus, std::uint32_t target) {
  const std::uint32_t total = adapter.bufferSize / kBlockSize;
  const std::uint32_t chunk = std::min(total, kBlocksPerRead);
  for (std::uint32_t done = 0, k = 0; done < total; done += chunk, ++k) {
    const auto blocks = static_cast<std::uint8_t>(std::min(chunk, total - done));
    const std::uint32_t result = adapter.ExecuteIn(bus, target, cdb::Read6(kFirstBlock + kBlockStep * k, blocks));
    if (result != 0) return result;
  }
  return 0;
}

std::uint32_t FlashTargets(ScsiAdapter& adapter, std::uint32_t bus, std::uint16_t targetMask) {
  bool anySucceeded = false;
  std::uint32_t lastFailure = 0;
  for (std::uint32_t target = 0; target < adapter.targetCount && target < ScsiAdapter::kTargetCount; ++target) {
    if (target == adapter.initiatorId || ((targetMask >> target) & 1) == 0) continue;
    const std::uint32_t result = FlashReadTarget(adapter, bus, target);
    if (result == 0) {
      anySucceeded = true;
    } else {
      lastFailure = result;
    }
  }
  return anySucceeded ? 0 : lastFailure;
}

std::uint32_t RunFlashJob(ScsiAdapter& adapter, std::uint32_t bus, std::uint32_t target, std::uint32_t duration,
                          std::atomic<std::uint32_t>& running) {
  const DWORD start = GetTickCount();
  const std::uint32_t limit = (duration & 0xFFFF) * kFlashPeriodMs;
  const std::uint32_t pause = target == kAllTargets ? kFlashPauseAllMs : kFlashPauseOneMs;
  // Elapsed time as a difference of ticks, so a wrap of the counter does not matter.
  auto elapsed = [start] { return static_cast<std::uint32_t>(GetTickCount() - start); };

  std::uint32_t result = 0;
  if (bus >= adapter.busCount || bus >= ScsiAdapter::kMaxBuses) {
    result = kBadBusOrClosedHandle;
  } else if (const std::uint16_t mask = TargetMask(adapter, bus, target); mask != 0) {
    running.store(1);
    if (elapsed() < limit) {
      do {
        if (running.load() == 0) break;
        result = FlashTargets(adapter, bus, mask);
        if (result != 0) break;
        Sleep(pause);
      } while (elapsed() < limit);
    }
  }
  running.store(0);
  return result;
}

}  // namespace lumbrel
