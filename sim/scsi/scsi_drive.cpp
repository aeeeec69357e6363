#include "sim/scsi/scsi_drive.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"

namespace lumbrel::sim {

using namespace scsi;

ScsiDrive::ScsiDrive(const DeviceConfig& config, ScsiAddress address, const VirtualClock& clock)
    : config_(config), address_(address), clock_(clock), inquiry_(BuildInquiryData(config)) {
  state_.ready = config.ready;
  state_.blocks = config.blocks;
}

const std::array<ScsiDrive::Command, 256>& ScsiDrive::Commands() {
  static const std::array<Command, 256> table = [] {
    std::array<Command, 256> commands{};
    commands[kTestUnitReady] = {&ScsiDrive::TestUnitReady, true};
    commands[kRequestSense] = {&ScsiDrive::RequestSense, false};
    commands[kRead6] = {&ScsiDrive::Read6, true};
    commands[kWrite6] = {&ScsiDrive::Write6, true};
    commands[kInquiry] = {&ScsiDrive::Inquiry, false};
    commands[kStartStopUnit] = {&ScsiDrive::StartStopUnit, false};
    commands[kReadCapacity] = {&ScsiDrive::ReadCapacity, true};
    commands[kRead10] = {&ScsiDrive::Read10, true};
    commands[kWrite10] = {&ScsiDrive::Write10, true};
    return commands;
  }();
  return table;
}

CommandResult ScsiDrive::Execute(std::span<const std::uint8_t> cdb, DataPhase& data) {
  CommandResult result;
  if (cdb.empty()) {
    result = Check(kInvalidFieldInCdb);
  } else {
    // Any command but REQUEST SENSE ends the wait for the previous sense data.
    if (cdb[0] != kRequestSense) state_.pendingSense.reset();
    const Command& command = Commands()[cdb[0]];
    if (command.run == nullptr) {
      result = Check(kInvalidOpcode);
    } else if (cdb.size() < GroupCdbLength(cdb[0])) {
      result = Check(kInvalidFieldInCdb);
    } else if (command.needsReady && !state_.ready) {
      result = Check(kStartUnitRequired);
    } else {
      result = (this->*command.run)(cdb, data);
    }
  }
  result.transferred = data.transferred();
  result.phaseError = data.phaseError();
  log_.Record(cdb, result.status, result.transferred);
  return result;
}

CommandResult ScsiDrive::Refuse(std::span<const std::uint8_t> cdb, std::uint8_t status, const Sense& sense) {
  state_.pendingSense.reset();
  if (status == kCheckCondition) state_.pendingSense = sense;
  log_.Record(cdb, status, 0);
  return CommandResult{status, 0, false};
}

std::uint32_t ScsiDrive::TakeSense(std::span<std::uint8_t> out) {
  if (!state_.pendingSense) return 0;
  const auto bytes = state_.pendingSense->Bytes();
  const auto n = static_cast<std::uint32_t>(std::min(out.size(), bytes.size()));
  std::copy_n(bytes.begin(), n, out.begin());
  state_.pendingSense.reset();
  return n;
}

CommandResult ScsiDrive::Check(const Sense& sense) {
  state_.pendingSense = sense;
  return CommandResult{kCheckCondition, 0, false};
}

CommandResult ScsiDrive::TestUnitReady(std::span<const std::uint8_t>, DataPhase&) { return {}; }

CommandResult ScsiDrive::RequestSense(std::span<const std::uint8_t> cdb, DataPhase& data) {
  const auto bytes = state_.pendingSense.value_or(Sense{}).Bytes();
  state_.pendingSense.reset();
  const auto out = data.In(std::min<std::uint32_t>(cdb[4], Sense::kLength));
  std::copy_n(bytes.begin(), out.size(), out.begin());
  return {};
}

CommandResult ScsiDrive::Inquiry(std::span<const std::uint8_t> cdb, DataPhase& data) {
  const bool vitalProductData = (cdb[1] & 0x01) != 0;
  const std::uint8_t page = cdb[2];
  if ((cdb[1] & 0x02) != 0 || (!vitalProductData && page != 0)) return Check(kInvalidFieldInCdb);
  std::vector<std::uint8_t> reply;
  if (!vitalProductData) {
    reply = inquiry_;
  } else if (page == 0x00 || (page == 0x80 && !config_.serial.empty())) {
    reply = {peripheralType(), page, 0, 0};
    if (page == 0x00) {
      reply.push_back(0x00);
      if (!config_.serial.empty()) reply.push_back(0x80);
    } else {
      reply.insert(reply.end(), config_.serial.begin(), config_.serial.end());
    }
    reply[3] = static_cast<std::uint8_t>(std::min<std::size_t>(reply.size() - 4, 255));
  } else {
    return Check(kInvalidFieldInCdb);
  }
  const auto out = data.In(std::min<std::uint32_t>(cdb[4], static_cast<std::uint32_t>(reply.size())));
  std::copy_n(reply.begin(), out.size(), out.begin());
  return {};
}

CommandResult ScsiDrive::StartStopUnit(std::span<const std::uint8_t> cdb, DataPhase&) {
  state_.ready = (cdb[4] & 0x01) != 0;
  return {};
}

CommandResult ScsiDrive::ReadCapacity(std::span<const std::uint8_t>, DataPhase& data) {
  std::uint8_t reply[8];
  StoreBe32(reply, state_.blocks == 0 ? 0 : state_.blocks - 1);
  StoreBe32(reply + 4, kBlockSize);
  const auto out = data.In(sizeof reply);
  std::copy_n(reply, out.size(), out.begin());
  return {};
}

// READ(6) and WRITE(6): a 21-bit block address; a length of 0 means 256 blocks.
CommandResult ScsiDrive::Read6(std::span<const std::uint8_t> cdb, DataPhase& data) {
  return ReadBlocks(LoadBe24(&cdb[1]) & 0x1FFFFF, cdb[4] == 0 ? 256 : cdb[4], data);
}

CommandResult ScsiDrive::Write6(std::span<const std::uint8_t> cdb, DataPhase& data) {
  return WriteBlocks(LoadBe24(&cdb[1]) & 0x1FFFFF, cdb[4] == 0 ? 256 : cdb[4], data);
}

CommandResult ScsiDrive::Read10(std::span<const std::uint8_t> cdb, DataPhase& data) {
  return ReadBlocks(LoadBe32(&cdb[2]), LoadBe16(&cdb[7]), data);
}

CommandResult ScsiDrive::Write10(std::span<const std::uint8_t> cdb, DataPhase& data) {
  return WriteBlocks(LoadBe32(&cdb[2]), LoadBe16(&cdb[7]), data);
}

CommandResult ScsiDrive::ReadBlocks(std::uint32_t lba, std::uint32_t count, DataPhase& data) {
  if (static_cast<std::uint64_t>(lba) + count > state_.blocks) return Check(kLbaOutOfRange);
  const auto out = data.In(count * kBlockSize);
  std::uint8_t block[kBlockSize];
  for (std::uint32_t offset = 0; offset < out.size(); offset += kBlockSize) {
    const std::uint32_t n = std::min<std::uint32_t>(kBlockSize, static_cast<std::uint32_t>(out.size()) - offset);
    std::uint8_t* target = n == kBlockSize ? out.data() + offset : block;
    ReadBlock(lba + offset / kBlockSize, target);
    if (target == block) std::memcpy(out.data() + offset, block, n);
  }
  log_.AddBlocks(out.size() / kBlockSize, 0);
  return {};
}

CommandResult ScsiDrive::WriteBlocks(std::uint32_t lba, std::uint32_t count, DataPhase& data) {
  if (static_cast<std::uint64_t>(lba) + count > state_.blocks) return Check(kLbaOutOfRange);
  const auto in = data.Out(count * kBlockSize);
  for (std::uint32_t i = 0; i < in.size() / kBlockSize; ++i) {
    std::memcpy(state_.written[lba + i].data(), in.data() + i * kBlockSize, kBlockSize);
  }
  log_.AddBlocks(0, in.size() / kBlockSize);
  return {};
}

void ScsiDrive::ReadBlock(std::uint32_t lba, std::uint8_t* out) const {
  if (!state_.written.empty()) {
    if (const auto it = state_.written.find(lba); it != state_.written.end()) {
      std::memcpy(out, it->second.data(), kBlockSize);
      return;
    }
  }
  PatternBlock(lba, out);
}

void ScsiDrive::PatternBlock(std::uint32_t lba, std::uint8_t* out) {
  // The block's address, then bytes that differ from block to block.
  StoreBe32(out, lba);
  for (std::uint32_t i = 4; i < kBlockSize; ++i) out[i] = static_cast<std::uint8_t>(i ^ lba);
}

}  // namespace lumbrel::sim
