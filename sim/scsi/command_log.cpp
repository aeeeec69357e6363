#include "sim/scsi/command_log.h"

#include <algorithm>

namespace lumbrel::sim {

void CommandLog::Record(std::span<const std::uint8_t> cdb, std::uint8_t status, std::uint32_t transferred) {
  ReceivedCommand& entry = recent_[total_ % kRecent];
  entry.cdb.fill(0);
  entry.cdbLength = static_cast<std::uint8_t>(std::min<std::size_t>(cdb.size(), entry.cdb.size()));
  std::copy_n(cdb.begin(), entry.cdbLength, entry.cdb.begin());
  entry.status = status;
  entry.transferred = transferred;
  if (!cdb.empty()) ++byOpcode_[cdb[0]];
  ++total_;
}

std::vector<ReceivedCommand> CommandLog::Recent() const {
  const std::uint64_t kept = std::min<std::uint64_t>(total_, kRecent);
  std::vector<ReceivedCommand> commands;
  commands.reserve(kept);
  for (std::uint64_t i = total_ - kept; i < total_; ++i) commands.push_back(recent_[i % kRecent]);
  return commands;
}

}  // namespace lumbrel::sim
