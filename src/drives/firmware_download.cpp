#include "drives/firmware_download.h"

#include <algorithm>
#include <cstring>

#include "discovery/driver_table.h"
#include "drives/unit_ready.h"
#include "platform/win32.h"
#include "result_codes.h"

namespace lumbrel {
namespace {

// A status that some drivers pass through for a download that took effect.
constexpr std::uint32_t kDownloadAccepted = 244;

}  // namespace

std::uint32_t DownloadMicrocode(ScsiAdapter& adapter, const DriveIdentifier& identifier, std::uint32_t bus,
                                std::uint32_t target, const std::uint8_t* image, std::uint32_t length) {
  if (adapter.classCode == AdapterClassAtapi) return kOperationRefused;
  DriveIdentity identity;
  if (const std::uint32_t result = identifier.IdentifyDrive(adapter, bus, target, &identity); result != 0) {
    return result;
  }
  const std::uint32_t caps = identity.capabilities;
  if ((caps & capability::kFirmwareDownload) == 0) return kOperationRefused;
  const bool chunked = (caps & (capability::kChunkBufferId | capability::kChunkBufferOffset)) != 0;
  const std::uint32_t chunk =
      !chunked ? length : adapter.classCode == AdapterClassDac960 ? kDac960FirmwareChunk : kFirmwareChunk;
  if (chunk > adapter.maxTransfer) return kOperationRefused;
  const std::uint8_t mode =
      (caps & capability::kWriteBufferMode7) != 0 ? kWriteBufferDownloadWithOffsetsAndSave : kWriteBufferDownloadAndSave;
  std::uint8_t* data = adapter.GetDataBuffer(1);
  if (data == nullptr) return kNoMemory;
  if (length == 0) return 0;
  for (std::uint32_t offset = 0, index = 0; offset < length; offset += chunk, ++index) {
    const std::uint32_t n = std::min(chunk, length - offset);
    std::memcpy(data, image + offset, n);
    const auto bufferId = static_cast<std::uint8_t>((caps & capability::kChunkBufferId) != 0 ? index : 0);
    const std::uint32_t bufferOffset = (caps & capability::kChunkBufferOffset) != 0 ? offset : 0;
    const std::uint32_t result = adapter.ExecuteOut(bus, target, cdb::WriteBuffer10(mode, bufferId, bufferOffset, n));
    if (result != 0) return result;
  }
  return 0;
}

std::uint32_t UpdateFirmware(ScsiAdapter& adapter, const DriveIdentifier& identifier, std::uint32_t bus,
                             std::uint32_t target, const std::uint8_t* image, std::uint32_t length) {
  std::uint32_t result = 0;
  {
    const TargetSession session(adapter, bus, target);
    result = session.result();
    if (result == 0) result = TestUnitReadyRetry(adapter, bus, target);
    if (result == 0) result = DownloadMicrocode(adapter, identifier, bus, target, image, length);
    if (result == 0) {
      Sleep(kRestartPauseMs);
      result = TestUnitReadyRetry(adapter, bus, target);
      for (std::uint32_t probes = 0; result != 0 && probes < kRestartProbes; ++probes) {
        Sleep(kRestartProbeIntervalMs);
        result = TestUnitReadyRetry(adapter, bus, target);
      }
    }
  }
  return result == kDownloadAccepted ? 0 : result;
}

}  // namespace lumbrel
