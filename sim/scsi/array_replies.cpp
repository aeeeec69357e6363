#include "sim/scsi/array_replies.h"

#include <algorithm>

#include "platform/byte_order.h"

namespace lumbrel::sim {
namespace {

namespace megaraid {
constexpr std::size_t kDataSize = 2048;
constexpr std::size_t kEntries = 4, kEntrySize = 104;
constexpr std::size_t kSpanCount = 0, kLevel = 1, kState = 4, kDrivesPerSpan = 7;
constexpr std::size_t kSpans = 8, kSpanSize = 24, kSpanBlocks = 4, kSpanDrives = 8, kDriveSize = 2;
}  // namespace megaraid

namespace hhba {
constexpr std::size_t kDataSize = 5120;
constexpr std::size_t kCount = 8, kEntries = 12, kEntrySize = 420;
constexpr std::size_t kState = 0, kLevel = 1, kSpanCount = 2;
constexpr std::size_t kSpans = 4, kSpanSize = 52, kSpanDriveCount = 0, kSpanDrives = 4, kDriveSize = 12;
constexpr std::size_t kDriveBlocks = 8;
constexpr std::size_t kVersionMinor = 40, kVersionMajor = 41;
}  // namespace hhba

// "XY.AA.BB" as the controller stores it: BB, AA, then the characters Y, X.
void PutVersion(ReplyBytes& reply, std::size_t at, char first, char second, std::uint8_t major, std::uint8_t minor) {
  reply[at] = minor;
  reply[at + 1] = major;
  reply[at + 2] = static_cast<std::uint8_t>(second);
  reply[at + 3] = static_cast<std::uint8_t>(first);
}

}  // namespace

ReplyBytes MegaRaidEnquiryReply() {
  ReplyBytes reply(megaraid::kDataSize, 0);
  PutVersion(reply, 4, 'G', '3', 5, 1);
  PutVersion(reply, 13, 'B', '1', 2, 16);
  return reply;
}

ReplyBytes MegaRaidConfigurationReply(const std::vector<LogicalDriveConfig>& drives) {
  using namespace megaraid;
  ReplyBytes reply(kDataSize, 0);
  reply[0] = static_cast<std::uint8_t>(drives.size());
  for (std::size_t i = 0; i < drives.size(); ++i) {
    std::uint8_t* entry = reply.data() + kEntries + i * kEntrySize;
    const LogicalDriveConfig& drive = drives[i];
    std::size_t perSpan = 0;
    for (const SpanConfig& span : drive.spans) perSpan = std::max(perSpan, span.drives.size());
    entry[kSpanCount] = static_cast<std::uint8_t>(drive.spans.size());
    entry[kLevel] = drive.level;
    entry[kState] = drive.state;
    entry[kDrivesPerSpan] = static_cast<std::uint8_t>(perSpan);
    for (std::size_t s = 0; s < drive.spans.size(); ++s) {
      std::uint8_t* span = entry + kSpans + s * kSpanSize;
      StoreLe32(span + kSpanBlocks, drive.spans[s].blocks);
      for (std::size_t d = 0; d < drive.spans[s].drives.size(); ++d) {
        span[kSpanDrives + d * kDriveSize] = drive.spans[s].drives[d].bus;
        span[kSpanDrives + d * kDriveSize + 1] = drive.spans[s].drives[d].target;
      }
    }
  }
  return reply;
}

ReplyBytes HhbaVersionReply() {
  ReplyBytes reply(hhba::kDataSize, 0);
  reply[hhba::kVersionMinor] = 7;
  reply[hhba::kVersionMajor] = 2;
  return reply;
}

ReplyBytes HhbaConfigurationReply(const std::vector<LogicalDriveConfig>& drives) {
  using namespace hhba;
  ReplyBytes reply(kDataSize, 0);
  reply[kCount] = static_cast<std::uint8_t>(drives.size());
  for (std::size_t i = 0; i < drives.size(); ++i) {
    std::uint8_t* entry = reply.data() + kEntries + i * kEntrySize;
    const LogicalDriveConfig& drive = drives[i];
    entry[kState] = drive.state;
    entry[kLevel] = drive.level;
    entry[kSpanCount] = static_cast<std::uint8_t>(drive.spans.size());
    for (std::size_t s = 0; s < drive.spans.size(); ++s) {
      std::uint8_t* span = entry + kSpans + s * kSpanSize;
      span[kSpanDriveCount] = static_cast<std::uint8_t>(drive.spans[s].drives.size());
      for (std::size_t d = 0; d < drive.spans[s].drives.size(); ++d) {
        std::uint8_t* member = span + kSpanDrives + d * kDriveSize;
        member[0] = drive.spans[s].drives[d].bus;
        member[1] = drive.spans[s].drives[d].target;
        StoreLe32(member + kDriveBlocks, drive.spans[s].drives[d].blocks);
      }
    }
  }
  return reply;
}

}  // namespace lumbrel::sim
