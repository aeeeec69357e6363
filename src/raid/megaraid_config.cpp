#include "raid/megaraid_config.h"

#include <cstdio>

#include "platform/byte_view.h"
#include "result_codes.h"
#include "scsi/control_codes.h"

namespace lumbrel {
namespace {

namespace mr = megaraid_reply;

// "%c%c.%2.2d.%2.2d" of a version stored last byte first: bytes 3 and 2 as
// characters, then 1 and 0 as numbers.
void FormatVersion(char (&text)[RaidConfig::kVersionSize], ByteView data, Field field) {
  std::snprintf(text, sizeof text, "%c%c.%2.2d.%2.2d", data.U8(field.offset + 3), data.U8(field.offset + 2),
                data.U8(field.offset + 1), data.U8(field.offset));
}

}  // namespace

const std::uint8_t MegaRaidStateTable[kMegaRaidStateCount] = {1, 4, 3, 3, 6, 5, 2, 5, 3};

std::uint32_t MapMegaRaidState(std::uint8_t state) {
  return state < kMegaRaidStateCount ? MegaRaidStateTable[state] : kArrayStatusNone;
}

std::uint32_t MegaRaidConfig::SendMegaRaidCommand(std::uint8_t opcode, const std::uint8_t* params) {
  if (EnsureBuffer() != 0) return kNoMemory;
  if (adapter == nullptr) return kNotSupported;
  megaraid_mailbox::Fill(buffer, bufferSize, opcode, params);
  const std::uint32_t result =
      adapter->deviceHandle.Transfer(kIoctlScsiMiniport, buffer, bufferSize, DeviceHandle::kSendReceive);
  if (result != 0) return result;
  return megaraid_mailbox::Status(buffer);
}

std::uint32_t MegaRaidConfig::Refresh() {
  std::uint32_t now = 0;
  if (RefreshedRecently(&now)) return 0;
  if (firmwareVersion[0] == '\0') {
    if (const std::uint32_t result = ReadVersions()) return result;
  }
  if (const std::uint32_t result = ReadConfiguration()) return result;
  lastRefresh = now;
  return 0;
}

std::uint32_t MegaRaidConfig::ReadVersions() {
  if (const std::uint32_t result = SendMegaRaidCommand(megaraid_mailbox::kOpcodeEnquiry, nullptr)) return result;
  const ByteView data(buffer + megaraid_mailbox::kReplyOffset, mr::kDataSize);
  // A first version byte of 0 leaves the text empty, so the enquiry is
  // made again at the next refresh.
  FormatVersion(firmwareVersion, data, mr::kFirmwareVersion);
  FormatVersion(biosVersion, data, mr::kBiosVersion);
  return 0;
}

std::uint32_t MegaRaidConfig::ReadConfiguration() {
  if (const std::uint32_t result = SendMegaRaidCommand(megaraid_mailbox::kOpcodeConfiguration, nullptr)) {
    return result;
  }
  // Every count the controller declares is cut to the entries that the
  // reply data and the entry layouts hold.
  const ByteView data(buffer + megaraid_mailbox::kReplyOffset, mr::kDataSize);
  const std::uint32_t count = data.Fit(data.U8(mr::kLogicalDriveCount.offset), mr::kLogicalDrivesOffset,
                                       mr::kLogicalDriveSize);
  if (SetLogicalDriveCount(count) != 0) return kNoMemory;
  const auto port = static_cast<std::uint8_t>(adapter->adapterNumber);
  for (std::uint32_t i = 0; i < count; ++i) {
    namespace entry = mr::logical_drive;
    const ByteView drive = data.Sub(mr::kLogicalDrivesOffset + i * mr::kLogicalDriveSize, mr::kLogicalDriveSize);
    LogicalDrive& record = logicalDrives[i];
    record.raidLevel = drive.U8(entry::kRaidLevel.offset);
    record.status = MapMegaRaidState(drive.U8(entry::kState.offset));
    record.address = DriveAddress{static_cast<std::uint8_t>(i), 0, port};
    const std::uint32_t spans =
        drive.Fit(drive.U8(entry::kSpanCount.offset), entry::kSpansOffset, mr::kSpanSize, entry::kSpanRoom);
    const std::uint8_t drivesPerSpan = drive.U8(entry::kDrivesPerSpan.offset);
    for (std::uint32_t s = 0; s < spans; ++s) {
      const ByteView span = drive.Sub(entry::kSpansOffset + s * mr::kSpanSize, mr::kSpanSize);
      record.capacity += span.Le32(mr::span::kBlocks.offset);
      const std::uint32_t drives =
          span.Fit(drivesPerSpan, mr::span::kDrivesOffset, mr::drive::kSize, mr::span::kDriveRoom);
      for (std::uint32_t d = 0; d < drives; ++d) {
        const std::size_t at = mr::span::kDrivesOffset + d * mr::drive::kSize;
        AddMember(i, DriveAddress{span.U8(at + mr::drive::kTarget.offset), span.U8(at + mr::drive::kBus.offset),
                                  port});
      }
    }
  }
  return 0;
}

}  // namespace lumbrel
