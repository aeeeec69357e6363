// Blinking a drive's activity light by reading from it: bursts of READ(6)
// with a short pause between them, until the time is up or the flag that
// StopFlashing clears says stop.
#pragma once

#include <atomic>
#include <cstdint>

#include "scsi/scsi_adapter.h"

namespace lumbrel {

inline constexpr std::uint32_t kAllTargets = 255;
inline constexpr std::uint32_t kFlashPeriodMs = 30000;  // one unit of duration
inline constexpr std::uint32_t kFlashPauseOneMs = 100;
inline constexpr std::uint32_t kFlashPauseAllMs = 20;

// One burst on one target: the adapter's buffer size in blocks, read as
// READ(6) commands of at most 4 blocks at 0x0204, 0x0304, ... 0 when every
// command succeeded, else the first failure.
std::uint32_t FlashReadTarget(ScsiAdapter& adapter, std::uint32_t bus, std::uint32_t target);

// One pass over the targets of `targetMask` but the adapter's own id: 0
// when some target succeeded or none was tried, else the failure of the
// highest-numbered target.
std::uint32_t FlashTargets(ScsiAdapter& adapter, std::uint32_t bus, std::uint16_t targetMask);

// The flash job: passes on one target (0-15) or on every present target of
// the bus (255) for `duration` x 30 s, while `running` stays 1. 55 for a bus
// the adapter lacks, else the failure that ended it, else 0. `running` is
// set to 1 when the loop begins and to 0 when the job ends.
std::uint32_t RunFlashJob(ScsiAdapter& adapter, std::uint32_t bus, std::uint32_t target, std::uint32_t duration,
                          std::atomic<std::uint32_t>& running);

}  // namespace lumbrel
