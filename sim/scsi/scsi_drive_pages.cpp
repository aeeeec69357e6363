// The drive's parameter commands: mode page 0, log pages and the firmware
// download through WRITE BUFFER.
#include <algorithm>

#include "platform/byte_order.h"
#include "sim/scsi/scsi_drive.h"

namespace lumbrel::sim {

using namespace scsi;

namespace {

// MODE SENSE / MODE SELECT(6).
constexpr std::uint8_t kDisableBlockDescriptors = 0x08;
constexpr std::uint8_t kSaveParameters = 0x01;  // SP, also of LOG SELECT
constexpr std::uint8_t kAllPages = 0x3F;
constexpr std::uint8_t kParametersSaveable = 0x80;  // PS in the page code byte
constexpr std::uint32_t kModeHeaderLength = 4;
constexpr std::uint32_t kBlockDescriptorLength = 8;
enum ModePageControl : std::uint8_t { kCurrent = 0, kChangeable = 1, kDefault = 2, kSaved = 3 };

// LOG SENSE / LOG SELECT.
constexpr std::uint8_t kParameterPointerControl = 0x02;  // PPC of LOG SENSE, PCR of LOG SELECT
constexpr std::uint8_t kCumulativeValues = 1;           // page control 01b
constexpr std::uint8_t kSupportedPages = 0x00;
constexpr std::uint32_t kLogHeaderLength = 4;
constexpr std::uint32_t kParameterHeaderLength = 4;
constexpr std::uint32_t kParameterSize = 200;
constexpr std::uint32_t kParameters = DeviceConfig::kLogPage32Size / kParameterSize;

std::uint8_t PageControl(std::span<const std::uint8_t> cdb) { return cdb[2] >> 6; }
std::uint8_t PageCode(std::uint8_t byte) { return byte & 0x3F; }

CommandResult Reply(const std::vector<std::uint8_t>& reply, std::uint32_t allocationLength, DataPhase& data) {
  const auto out = data.In(std::min(allocationLength, static_cast<std::uint32_t>(reply.size())));
  std::copy_n(reply.begin(), out.size(), out.begin());
  return {};
}

}  // namespace

bool ScsiDrive::OffersLogPage(std::uint8_t page) const {
  return config_.logPages && std::find(config_.logPages->begin(), config_.logPages->end(), page) !=
                                 config_.logPages->end();
}

// MODE SENSE(6) of page 0 (or all pages, which is page 0): the 4-byte
// header, a block descriptor unless DBD is set, then the page.
CommandResult ScsiDrive::ModeSense6(std::span<const std::uint8_t> cdb, DataPhase& data) {
  if (config_.modeSenseReply) return Reply(*config_.modeSenseReply, cdb[4], data);
  const std::uint8_t page = PageCode(cdb[2]);
  if (state_.modePage0.empty() || (page != 0 && page != kAllPages)) return Check(kInvalidFieldInCdb);
  std::vector<std::uint8_t> values;
  switch (PageControl(cdb)) {
    case kCurrent: values = state_.modePage0; break;
    case kChangeable:
      values.assign(state_.modePage0.size(), 0xFF);  // every bit of the vendor page may be changed
      values[0] = 0x00;
      values[1] = state_.modePage0[1];
      break;
    case kDefault: values = *config_.modePage0; break;
    default: values = state_.savedModePage0; break;
  }
  values[0] = static_cast<std::uint8_t>((values[0] & 0x7F) | ((*config_.modePage0)[0] & kParametersSaveable));

  std::vector<std::uint8_t> reply(kModeHeaderLength, 0);
  if ((cdb[1] & kDisableBlockDescriptors) == 0) {
    reply[3] = kBlockDescriptorLength;
    reply.resize(kModeHeaderLength + kBlockDescriptorLength, 0);
    std::uint8_t* descriptor = reply.data() + kModeHeaderLength;
    StoreBe32(descriptor, std::min<std::uint32_t>(state_.blocks, 0xFFFFFF));  // density code 0, block count
    StoreBe32(descriptor + 4, kBlockSize);
  }
  reply.insert(reply.end(), values.begin(), values.end());
  reply[0] = static_cast<std::uint8_t>(reply.size() - 1);  // the mode data length counts the bytes after it
  return Reply(reply, cdb[4], data);
}

// MODE SELECT(6): the header (mode data length reserved, 0), an optional
// block descriptor, then page 0 at its own length. The page is stored with
// PS cleared; with SP it is saved too.
CommandResult ScsiDrive::ModeSelect6(std::span<const std::uint8_t> cdb, DataPhase& data) {
  const std::uint32_t length = cdb[4];
  if (length == 0) return {};
  const auto list = data.Out(length);
  if (list.size() != length) return {};  // the data phase error is the driver's to report
  if (config_.rejectModeSelect) return Check(kInvalidFieldInParameterList);
  if (length < kModeHeaderLength) return Check(kParameterListLengthError);
  const std::uint32_t descriptors = list[3];
  if (list[0] != 0 || (descriptors != 0 && descriptors != kBlockDescriptorLength)) {
    return Check(kInvalidFieldInParameterList);
  }
  const std::uint32_t at = kModeHeaderLength + descriptors;
  if (length == at) return {};
  if (length < at + 2) return Check(kParameterListLengthError);
  const auto page = list.subspan(at);
  if (state_.modePage0.empty() || PageCode(page[0]) != 0 || page[1] != state_.modePage0[1]) {
    return Check(kInvalidFieldInParameterList);
  }
  if (page.size() != 2u + page[1]) return Check(kParameterListLengthError);
  state_.modePage0.assign(page.begin(), page.end());
  state_.modePage0[0] &= static_cast<std::uint8_t>(~kParametersSaveable);
  if ((cdb[1] & kSaveParameters) != 0) state_.savedModePage0 = state_.modePage0;
  return {};
}

// WRITE BUFFER(10), download modes: byte 1 mode, byte 2 buffer id, bytes
// 3-5 buffer offset, bytes 6-8 parameter list length.
CommandResult ScsiDrive::WriteBuffer(std::span<const std::uint8_t> cdb, DataPhase& data) {
  if (!config_.firmware) return Check(kInvalidOpcode);
  const FirmwareConfig& firmware = *config_.firmware;
  const std::uint8_t mode = cdb[1] & 0x1F;
  const std::uint32_t length = LoadBe24(&cdb[6]);
  const auto chunk = data.Out(length);
  if (chunk.size() != length) return {};  // the data phase error is the driver's to report
  // Any refused chunk ends the download, and the drive keeps the firmware it has.
  if (std::find(firmware.modes.begin(), firmware.modes.end(), mode) == firmware.modes.end()) {
    state_.download.Release();
    return Check(kInvalidFieldInCdb);
  }
  if (!state_.download.Take(cdb[2], LoadBe24(&cdb[3]), chunk, firmware.maxLength)) return Check(kInvalidFieldInCdb);
  return {};
}

// LOG SENSE: the supported-pages list, or page 0x32 from the parameter at
// the parameter pointer on, as far as the allocation length reaches.
CommandResult ScsiDrive::LogSense(std::span<const std::uint8_t> cdb, DataPhase& data) {
  if (config_.logSenseReply) return Reply(*config_.logSenseReply, LoadBe16(&cdb[7]), data);
  if (!config_.logPages) return Check(kInvalidOpcode);
  const std::uint8_t page = PageCode(cdb[2]);
  const std::uint16_t pointer = LoadBe16(&cdb[5]);
  if ((cdb[1] & kParameterPointerControl) != 0 || !OffersLogPage(page)) return Check(kInvalidFieldInCdb);
  std::vector<std::uint8_t> reply = {page, 0, 0, 0};
  if (page == kSupportedPages) {
    if (pointer != 0) return Check(kInvalidFieldInCdb);
    reply.insert(reply.end(), config_.logPages->begin(), config_.logPages->end());
  } else if (page == DeviceConfig::kLogPage32) {
    if (PageControl(cdb) != kCumulativeValues || pointer >= kParameters) return Check(kInvalidFieldInCdb);
    for (std::uint32_t k = pointer; k < kParameters; ++k) {
      reply.insert(reply.end(), {0, static_cast<std::uint8_t>(k), state_.logControls[k],
                                 static_cast<std::uint8_t>(kParameterSize)});
      const auto from = state_.logPage32.begin() + static_cast<std::ptrdiff_t>(k * kParameterSize);
      reply.insert(reply.end(), from, from + kParameterSize);
    }
  }
  StoreBe16(&reply[2], static_cast<std::uint16_t>(reply.size() - kLogHeaderLength));
  return Reply(reply, LoadBe16(&cdb[7]), data);
}

// LOG SELECT of page 0x32: the page header, then whole 200-byte parameters
// with codes 0 to 2, each stored with its control byte, with or without SP.
// PCR (without a parameter list) gives the page its first contents back.
CommandResult ScsiDrive::LogSelect(std::span<const std::uint8_t> cdb, DataPhase& data) {
  if (!config_.logPages) return Check(kInvalidOpcode);
  const std::uint32_t length = LoadBe16(&cdb[7]);
  if ((cdb[1] & kParameterPointerControl) != 0) {
    if (length != 0) return Check(kInvalidFieldInCdb);
    state_.logPage32 = config_.logPage32;
    state_.logControls.fill(0x01);
    return {};
  }
  if (PageControl(cdb) != kCumulativeValues) return Check(kInvalidFieldInCdb);
  if (length == 0) return {};
  const auto list = data.Out(length);
  if (list.size() != length) return {};
  if (length < kLogHeaderLength) return Check(kParameterListLengthError);
  if (PageCode(list[0]) != DeviceConfig::kLogPage32 || !OffersLogPage(DeviceConfig::kLogPage32)) {
    return Check(kInvalidFieldInParameterList);
  }
  if (LoadBe16(&list[2]) + kLogHeaderLength != length) return Check(kParameterListLengthError);
  // Every parameter is checked before any is stored.
  std::vector<std::uint32_t> starts;
  for (std::uint32_t at = kLogHeaderLength; at < length; at += kParameterHeaderLength + kParameterSize) {
    if (length - at < kParameterHeaderLength + kParameterSize || LoadBe16(&list[at]) >= kParameters ||
        list[at + 3] != kParameterSize) {
      return Check(kInvalidFieldInParameterList);
    }
    starts.push_back(at);
  }
  for (const std::uint32_t at : starts) {
    const std::uint16_t k = LoadBe16(&list[at]);
    state_.logControls[k] = list[at + 2];
    std::copy_n(&list[at + kParameterHeaderLength], kParameterSize, state_.logPage32.begin() + k * kParameterSize);
  }
  return {};
}

}  // namespace lumbrel::sim
