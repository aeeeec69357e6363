#include "raid/hhba5100_config.h"

#include <cstdio>

#include "platform/byte_view.h"
#include "result_codes.h"

namespace lumbrel {
namespace {

namespace reply = hhba5100_reply;

struct StateRow {
  std::uint8_t state;
  std::uint8_t status;
};
constexpr StateRow kHhbaStateMap[] = {{0xFF, 1}, {4, 6}, {3, 3}};

}  // namespace

std::uint32_t MapHhbaStatus(std::uint8_t state) {
  for (const StateRow& row : kHhbaStateMap) {
    if (row.state == state) return row.status;
  }
  return kArrayStatusNone;
}

std::uint32_t AdjustCapacity(LogicalDrive& drive, std::uint32_t memberCount) {
  switch (drive.raidLevel) {
    case 1:
    case 6: drive.capacity /= 2; return 1;
    case 3:
    case 5:
      // Without members there is no share to remove: the capacity stays.
      if (memberCount != 0) drive.capacity -= drive.capacity / memberCount;
      return 1;
    default: return 0;
  }
}

std::uint32_t Hhba5100Config::SendHhbaCommand(std::uint8_t opcode) {
  if (adapter == nullptr) return kNotSupported;
  // A controller that sends less than it was asked for leaves zeros in
  // the rest of the reply, not the bytes of an earlier command.
  return adapter->ExecuteInCleared(0u, 0u, cdb::Hhba5100Command(opcode, static_cast<std::uint16_t>(bufferSize)));
}

ByteView Hhba5100Config::Reply() const {
  // The bufferSize bytes asked for, which the adapter checked fit its
  // data area; past what the controller sent they are zeros.
  return ByteView(adapter->GetDataBuffer(0), bufferSize);
}

std::uint32_t Hhba5100Config::Refresh() {
  std::uint32_t now = 0;
  if (RefreshedRecently(&now)) return 0;
  if (firmwareVersion[0] == '\0') {
    if (const std::uint32_t result = SendHhbaCommand(reply::kOpcodeVersion)) return result;
    const ByteView version = Reply();
    std::snprintf(firmwareVersion, sizeof firmwareVersion, "%d.%2.2d", version.U8(reply::kVersionMajor.offset),
                  version.U8(reply::kVersionMinor.offset));
  }
  if (const std::uint32_t result = ReadConfiguration()) return result;
  lastRefresh = now;
  return 0;
}

std::uint32_t Hhba5100Config::ReadConfiguration() {
  if (const std::uint32_t result = SendHhbaCommand(reply::kOpcodeConfiguration)) return result;
  // Every count the controller declares is cut to the entries that the
  // reply and the entry layouts hold.
  const ByteView data = Reply();
  const std::uint32_t count =
      data.Fit(data.U8(reply::kLogicalDriveCount.offset), reply::kLogicalDrivesOffset, reply::kLogicalDriveSize);
  if (SetLogicalDriveCount(count) != 0) return kNoMemory;
  const auto port = static_cast<std::uint8_t>(adapter->adapterNumber);
  for (std::uint32_t i = 0; i < count; ++i) {
    namespace entry = reply::logical_drive;
    const ByteView drive = data.Sub(reply::kLogicalDrivesOffset + i * reply::kLogicalDriveSize, reply::kLogicalDriveSize);
    LogicalDrive& record = logicalDrives[i];
    const std::uint32_t level = drive.U8(entry::kRaidLevel.offset) & entry::kLevelMask;
    record.raidLevel = level == kLevelNone ? kRaidLevelNone : level;
    record.status = MapHhbaStatus(drive.U8(entry::kState.offset));
    record.address = DriveAddress{static_cast<std::uint8_t>(i), 0, port};
    const std::uint32_t spans =
        drive.Fit(drive.U8(entry::kSpanCount.offset), entry::kSpansOffset, reply::kSpanSize, entry::kSpanRoom);
    for (std::uint32_t s = 0; s < spans; ++s) {
      const ByteView span = drive.Sub(entry::kSpansOffset + s * reply::kSpanSize, reply::kSpanSize);
      const std::uint32_t drives = span.Fit(span.U8(reply::span::kDriveCount.offset), reply::span::kDrivesOffset,
                                            reply::drive::kSize, reply::span::kDriveRoom);
      for (std::uint32_t d = 0; d < drives; ++d) {
        const ByteView member = span.Sub(reply::span::kDrivesOffset + d * reply::drive::kSize, reply::drive::kSize);
        record.capacity += member.Le32(reply::drive::kBlocks.offset);
        AddMember(i, DriveAddress{member.U8(reply::drive::kTarget.offset), member.U8(reply::drive::kBus.offset), port});
      }
    }
    AdjustCapacity(record, record.memberCount);
  }
  return 0;
}

}  // namespace lumbrel
