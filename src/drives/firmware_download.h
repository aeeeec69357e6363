// Sending a new firmware image to a drive with WRITE BUFFER, in the style
// that the drive's identity calls for, then waiting until it is ready again.
#pragma once

#include <cstdint>

#include "drives/drive_identifier.h"
#include "scsi/scsi_adapter.h"

namespace lumbrel {

inline constexpr std::uint8_t kWriteBufferDownloadAndSave = 0x05;
inline constexpr std::uint8_t kWriteBufferDownloadWithOffsetsAndSave = 0x07;
inline constexpr std::uint32_t kFirmwareChunk = 32768;
inline constexpr std::uint32_t kDac960FirmwareChunk = 2048;
inline constexpr std::uint32_t kRestartPauseMs = 5000;
inline constexpr std::uint32_t kRestartProbes = 40;
inline constexpr std::uint32_t kRestartProbeIntervalMs = 500;

// Identifies the drive and, when its identity allows, sends the image: in
// one command, or in chunks that carry their index or offset. 1004001 when
// the adapter or the drive does not allow it (nothing sent), else the first
// failure, else 0.
std::uint32_t DownloadMicrocode(ScsiAdapter& adapter, const DriveIdentifier& identifier, std::uint32_t bus,
                                std::uint32_t target, const std::uint8_t* image, std::uint32_t length);

// The firmware job: BeginTarget, readiness, the download, a 5 s pause for
// the restart, then up to 41 readiness probes 500 ms apart. EndTarget in
// every case; a result of 244 is reported as 0.
std::uint32_t UpdateFirmware(ScsiAdapter& adapter, const DriveIdentifier& identifier, std::uint32_t bus,
                             std::uint32_t target, const std::uint8_t* image, std::uint32_t length);

}  // namespace lumbrel
