#include "sim/scsi/scsi_drive.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"

namespace lumbrel::sim {

using namespace scsi;

namespace {

constexpr std::uint32_t kRevisionOffset = 32;  // INQUIRY bytes 32-35: product revision level
constexpr std::uint32_t kRevisionLength = 4;

std::string InquiryText(const std::vector<std::uint8_t>& inquiry, std::size_t offset, std::size_t size) {
  if (inquiry.size() <= offset) return {};
  const auto from = inquiry.begin() + static_cast<std::ptrdiff_t>(offset);
  return std::string(from, from + static_cast<std::ptrdiff_t>(std::min(size, inquiry.size() - offset)));
}

}  // namespace

ScsiDrive::ScsiDrive(const DeviceConfig& config, ScsiAddress address, VirtualClock& clock)
    : config_(config), address_(address), clock_(clock), inquiry_(BuildInquiryData(config)) {
  state_.ready = config.ready;
  state_.blocks = config.blocks;
  state_.notReadyLeft = config.notReady;
  state_.allUnreadable = config.allUnreadable;
  state_.unreadable.insert(config.unreadable.begin(), config.unreadable.end());
  if (config.modePage0) {
    state_.modePage0 = *config.modePage0;
    state_.modePage0[0] &= 0x7F;  // PS reports what the drive can save; the values carry none
    state_.savedModePage0 = state_.modePage0;
  }
  state_.logPage32 = config.logPage32;
  state_.logControls.fill(0x01);
  if (config.sg) AttachDevice(*config.sg);
}

const std::array<ScsiDrive::Command, 256>& ScsiDrive::Commands() {
  static const std::array<Command, 256> table = [] {
    std::array<Command, 256> commands{};
    // A format in progress leaves only INQUIRY and REQUEST SENSE answered.
    commands[kTestUnitReady] = {&ScsiDrive::TestUnitReady, true};
    commands[kRequestSense] = {&ScsiDrive::RequestSense, false, true};
    commands[kFormatUnit] = {&ScsiDrive::FormatUnit, true};
    commands[kRead6] = {&ScsiDrive::Read6, true};
    commands[kWrite6] = {&ScsiDrive::Write6, true};
    commands[kInquiry] = {&ScsiDrive::Inquiry, false, true};
    commands[kModeSelect6] = {&ScsiDrive::ModeSelect6, false};
    commands[kModeSense6] = {&ScsiDrive::ModeSense6, false};
    commands[kStartStopUnit] = {&ScsiDrive::StartStopUnit, false};
    commands[kReadCapacity] = {&ScsiDrive::ReadCapacity, true};
    commands[kRead10] = {&ScsiDrive::Read10, true};
    commands[kWrite10] = {&ScsiDrive::Write10, true};
    commands[kWriteBuffer] = {&ScsiDrive::WriteBuffer, false};
    commands[kLogSelect] = {&ScsiDrive::LogSelect, false};
    commands[kLogSense] = {&ScsiDrive::LogSense, false};
    return commands;
  }();
  return table;
}

CommandResult ScsiDrive::Execute(std::span<const std::uint8_t> cdb, DataPhase& data) {
  CommandResult result;
  if (device_ != nullptr) {
    result = RunOnDevice(cdb, data);
  } else if (cdb.empty()) {
    result = Check(kInvalidFieldInCdb);
  } else {
    // Any command but REQUEST SENSE ends the wait for the previous sense data.
    if (cdb[0] != kRequestSense) state_.pendingSense.reset();
    SettleFormat();
    if (cdb[0] != kWriteBuffer) FinishDownload();
    const Command& command = Commands()[cdb[0]];
    if (command.run == nullptr) {
      result = Check(kInvalidOpcode);
    } else if (cdb.size() < GroupCdbLength(cdb[0])) {
      result = Check(kInvalidFieldInCdb);
    } else if (Formatting() && !command.duringFormat) {
      result = Check(kFormatInProgress);
    } else if (command.needsReady && !state_.ready) {
      result = Check(kStartUnitRequired);
    } else {
      result = (this->*command.run)(cdb, data);
    }
  }
  result.transferred = data.transferred();
  result.phaseError = data.phaseError();
  log_.Record(cdb, result.status, result.transferred);
  clock_.Advance(config_.latencyMs);
  result.milliseconds = config_.latencyMs;
  return result;
}

CommandResult ScsiDrive::Refuse(std::span<const std::uint8_t> cdb, std::uint8_t status, const Sense& sense) {
  state_.pendingSense.reset();
  if (status == kCheckCondition) state_.pendingSense = sense;
  deviceSense_.clear();
  if (status == kCheckCondition && device_ != nullptr) {
    const auto bytes = sense.Bytes();
    deviceSense_.assign(bytes.begin(), bytes.end());
  }
  log_.Record(cdb, status, 0);
  return CommandResult{status, 0, false, 0};
}

std::uint32_t ScsiDrive::TakeSense(std::span<std::uint8_t> out) {
  if (device_ != nullptr) return TakeDeviceSense(out);
  if (!state_.pendingSense) return 0;
  const auto bytes = state_.pendingSense->Bytes();
  const auto n = static_cast<std::uint32_t>(std::min(out.size(), bytes.size()));
  std::copy_n(bytes.begin(), n, out.begin());
  state_.pendingSense.reset();
  return n;
}

CommandResult ScsiDrive::Check(const Sense& sense) {
  state_.pendingSense = sense;
  return CommandResult{kCheckCondition, 0, false, 0};
}

void ScsiDrive::SettleFormat() {
  if (!state_.formatEndsAt || clock_.ElapsedMilliseconds() < *state_.formatEndsAt) return;
  state_.formatEndsAt.reset();
  state_.formatted = true;
  state_.written.clear();
  // The format has mapped out the bad blocks.
  state_.allUnreadable = false;
  state_.unreadable.clear();
}

bool ScsiDrive::Formatting() const {
  return state_.formatEndsAt && clock_.ElapsedMilliseconds() < *state_.formatEndsAt;
}

void ScsiDrive::FinishDownload() {
  if (state_.download.empty()) return;
  state_.firmwareImage = state_.download.Release();
  if (config_.firmware && config_.firmware->revisionAfter && inquiry_.size() >= kRevisionOffset + kRevisionLength) {
    const std::string& revision = *config_.firmware->revisionAfter;
    for (std::uint32_t i = 0; i < kRevisionLength; ++i) {
      inquiry_[kRevisionOffset + i] = i < revision.size() ? static_cast<std::uint8_t>(revision[i]) : ' ';
    }
  }
  state_.notReadyLeft = config_.restartNotReady;
}

bool ScsiDrive::BecomingReady() {
  if (state_.notReadyLeft == 0) return false;
  --state_.notReadyLeft;
  return true;
}

bool ScsiDrive::Unreadable(std::uint32_t lba, std::uint32_t count, std::uint32_t* first) const {
  if (state_.allUnreadable && count > 0) {
    *first = lba;
    return true;
  }
  if (state_.unreadable.empty()) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (state_.unreadable.count(lba + i) != 0) {
      *first = lba + i;
      return true;
    }
  }
  return false;
}

DriveView ScsiDrive::View() const {
  DriveView view;
  view.address = address_;
  view.vendor = InquiryText(inquiry_, 8, 8);
  view.product = InquiryText(inquiry_, 16, 16);
  view.revision = InquiryText(inquiry_, kRevisionOffset, kRevisionLength);
  view.ready = state_.ready;
  view.notReadyLeft = state_.notReadyLeft;
  view.commands = log_.total();
  view.readsServed = state_.readsServed;
  view.blocksRead = log_.blocksRead();
  view.blocksWritten = log_.blocksWritten();
  view.formatting = Formatting();
  if (view.formatting) view.formatRemainingMs = *state_.formatEndsAt - clock_.ElapsedMilliseconds();
  view.formatted = state_.formatted || (state_.formatEndsAt && !view.formatting);
  view.firmwareImage = state_.firmwareImage;
  view.downloadLength = state_.download.length();
  view.modePage0 = state_.modePage0;
  view.logPages = config_.logPages.value_or(std::vector<std::uint8_t>{});
  if (OffersLogPage(DeviceConfig::kLogPage32)) view.logPage32 = state_.logPage32;
  return view;
}

CommandResult ScsiDrive::TestUnitReady(std::span<const std::uint8_t>, DataPhase&) {
  return BecomingReady() ? Check(kBecomingReady) : CommandResult{};
}

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
  if (BecomingReady()) return Check(kBecomingReady);
  if (static_cast<std::uint64_t>(lba) + count > state_.blocks) return Check(kLbaOutOfRange);
  if (std::uint32_t bad = 0; Unreadable(lba, count, &bad)) return Check(kUnrecoveredReadError.WithInformation(bad));
  const auto out = data.In(count * kBlockSize);
  // Whole blocks go straight to the data area (a drive never written reads
  // as one run of its pattern); a cut last block goes through a copy.
  const auto whole = static_cast<std::uint32_t>(out.size() / kBlockSize);
  if (state_.written.empty() && !state_.formatted) {
    PatternBlocks(lba, whole, out.data());
  } else {
    for (std::uint32_t i = 0; i < whole; ++i) ReadBlock(lba + i, out.data() + std::size_t{i} * kBlockSize);
  }
  if (const std::size_t rest = out.size() % kBlockSize; rest != 0) {
    std::uint8_t block[kBlockSize];
    ReadBlock(lba + whole, block);
    std::memcpy(out.data() + out.size() - rest, block, rest);
  }
  log_.AddBlocks(whole, 0);
  ++state_.readsServed;
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

// FORMAT UNIT without a parameter list; it answers at once and the drive
// formats for `formatSeconds` of virtual time.
CommandResult ScsiDrive::FormatUnit(std::span<const std::uint8_t> cdb, DataPhase&) {
  constexpr std::uint8_t kFormatData = 0x10;
  if ((cdb[1] & kFormatData) != 0) return Check(kInvalidFieldInCdb);
  state_.formatEndsAt = clock_.ElapsedMilliseconds() + std::uint64_t{config_.formatSeconds} * 1000;
  SettleFormat();
  return {};
}

void ScsiDrive::ReadBlock(std::uint32_t lba, std::uint8_t* out) const {
  if (!state_.written.empty()) {
    if (const auto it = state_.written.find(lba); it != state_.written.end()) {
      std::memcpy(out, it->second.data(), kBlockSize);
      return;
    }
  }
  if (state_.formatted) {
    std::memset(out, 0, kBlockSize);
  } else {
    PatternBlocks(lba, 1, out);
  }
}

void ScsiDrive::PatternBlocks(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) {
  // Each block: its address, then bytes that differ from block to block:
  // byte i is the low byte of i ^ lba. The 256 bodies are made once, in
  // address order, so a run of blocks is one copy (a flash job reads
  // millions of blocks).
  static constexpr std::uint32_t kBodies = 256;
  static const std::vector<std::uint8_t> kBody = [] {
    std::vector<std::uint8_t> bytes(kBodies * kBlockSize);
    for (std::uint32_t low = 0; low < kBodies; ++low) {
      for (std::uint32_t i = 0; i < kBlockSize; ++i) bytes[low * kBlockSize + i] = static_cast<std::uint8_t>(i ^ low);
    }
    return bytes;
  }();
  while (count != 0) {
    const std::uint32_t first = lba % kBodies;
    const std::uint32_t run = std::min(count, kBodies - first);
    std::memcpy(out, kBody.data() + std::size_t{first} * kBlockSize, std::size_t{run} * kBlockSize);
    for (std::uint32_t i = 0; i < run; ++i) StoreBe32(out + std::size_t{i} * kBlockSize, lba + i);
    out += std::size_t{run} * kBlockSize;
    lba += run;
    count -= run;
  }
}

}  // namespace lumbrel::sim
