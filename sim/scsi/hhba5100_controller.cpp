#include "sim/scsi/hhba5100_controller.h"

#include <algorithm>
#include <cstring>

namespace lumbrel::sim {
namespace {

// Where each byte of the original CDB sits in the wrapper; -1: dropped.
struct Layout {
  std::uint8_t id;
  std::array<std::int8_t, 10> position;
};
constexpr std::array<Layout, 6> kLayouts = {{
    {0x00, {2, 1, 4, 5, 8, 9, -1, -1, -1, -1}},
    {0x1A, {2, 1, 4, 5, -1, -1, -1, 7, 8, 9}},
    {0x1B, {2, 1, 4, -1, -1, 5, 6, 7, 8, 9}},
    {0x1C, {2, 1, 4, 5, 6, -1, -1, 7, 8, 9}},
    {0x02, {2, 1, 4, 5, 6, 7, -1, -1, 8, 9}},
    {0x03, {2, 1, -1, 4, 5, 6, -1, 7, 8, 9}},
}};

struct Rearranged {
  std::uint8_t opcode;
  std::uint8_t layout;
};
constexpr std::array<Rearranged, 32> kOpcodes = {{
    {0x00, 0x00}, {0x01, 0x00}, {0x03, 0x00}, {0x04, 0x00}, {0x07, 0x00}, {0x08, 0x00}, {0x0A, 0x00},
    {0x0B, 0x00}, {0x12, 0x00}, {0x15, 0x00}, {0x1A, 0x00}, {0x1B, 0x00}, {0x1C, 0x00}, {0x1D, 0x00},
    {0x1E, 0x00}, {0xA0, 0x00}, {0x25, 0x1A}, {0x37, 0x1A}, {0x4C, 0x1A}, {0x55, 0x1A}, {0x5A, 0x1A},
    {0x4D, 0x1B}, {0x3B, 0x1C}, {0x3C, 0x1C}, {0x28, 0x02}, {0x2A, 0x02}, {0x2B, 0x02}, {0x2E, 0x02},
    {0x2F, 0x02}, {0x41, 0x02}, {0x3E, 0x03}, {0x3F, 0x03},
}};

const Layout* LayoutOf(std::uint8_t opcode) {
  for (const Rearranged& entry : kOpcodes) {
    if (entry.opcode != opcode) continue;
    for (const Layout& layout : kLayouts) {
      if (layout.id == entry.layout) return &layout;
    }
  }
  return nullptr;
}

// The controller's own answer: CHECK CONDITION with `sense`.
Delivery ControllerCheck(const scsi::Sense& sense, bool autoSense) {
  Delivery delivery;
  delivery.reach = Delivery::Reach::Answered;
  delivery.result.status = scsi::kCheckCondition;
  if (autoSense) {
    delivery.sense = sense.Bytes();
    delivery.senseLength = scsi::Sense::kLength;
  }
  return delivery;
}

constexpr std::uint8_t kOpcodeVersion = 0x05;
constexpr std::uint8_t kOpcodeConfiguration = 0x61;

}  // namespace

Hhba5100Controller::Hhba5100Controller(std::shared_ptr<ScsiPort> port, const Machine& machine,
                                       const ArrayReplyOverrides& replies)
    : ScsiPortController(std::move(port), machine),
      version_(replies.versionReply.value_or(HhbaVersionReply())),
      configuration_(replies.configurationReply) {}

std::optional<UnwrappedCdb> UnwrapHhbaCdb(std::span<const std::uint8_t> wrapped) {
  if (wrapped.size() < 10 || wrapped[0] != kHhbaDriveCommand) return std::nullopt;
  const Layout* layout = LayoutOf(wrapped[2]);
  if (layout == nullptr) return std::nullopt;
  UnwrappedCdb cdb;
  for (std::size_t i = 0; i < layout->position.size(); ++i) {
    if (layout->position[i] >= 0) cdb.cdb[i] = wrapped[static_cast<std::size_t>(layout->position[i])];
  }
  const std::uint32_t group = scsi::GroupCdbLength(cdb.cdb[0]);
  cdb.length = group == 0 ? 10 : group;
  cdb.bus = wrapped[3] >> 4;
  cdb.target = wrapped[3] & 0x0F;
  return cdb;
}

Delivery Hhba5100Controller::RunPassThroughCommand(const PassThroughCommand& command, DataPhase& data,
                                                   DriverTrace& trace) {
  if (command.cdb[0] == kHhbaDriveCommand || command.cdb[0] == kHhbaControllerCommand) {
    return VendorCommand(command.cdb, data, command.autoSense, trace);
  }
  return ScsiPortController::RunPassThroughCommand(command, data, trace);
}

Delivery Hhba5100Controller::VendorCommand(std::span<const std::uint8_t> cdb, DataPhase& data, bool autoSense,
                                           DriverTrace& trace) {
  if (cdb[0] == kHhbaControllerCommand) return ControllerCommand(cdb, data, autoSense, trace);
  if (cdb[0] != kHhbaDriveCommand) return ControllerCheck(scsi::kInvalidOpcode, autoSense);
  const auto inner = UnwrapHhbaCdb(cdb);
  if (!inner) return ControllerCheck(scsi::kInvalidFieldInCdb, autoSense);
  const std::span<const std::uint8_t> carried(inner->cdb.data(), inner->length);
  Delivery delivery = port().Deliver(inner->bus, inner->target, 0, carried, data, autoSense);
  if (delivery.reach == Delivery::Reach::Absent) delivery = ControllerCheck(scsi::kLunNotSupported, autoSense);
  if (delivery.reach == Delivery::Reach::Silent) delivery = ControllerCheck(scsi::kTargetTimeout, autoSense);
  trace.Command(port(), inner->bus, inner->target, carried, delivery);
  return delivery;
}

}  // namespace lumbrel::sim

namespace lumbrel::sim {

Delivery Hhba5100Controller::ControllerCommand(std::span<const std::uint8_t> cdb, DataPhase& data, bool autoSense,
                                               DriverTrace& trace) {
  if (cdb.size() != 10) return trace.Reject(ControllerCheck(scsi::kInvalidFieldInCdb, autoSense), "CDB 0x20 is 10 bytes");
  for (const std::size_t reserved : {1, 3, 4, 5, 6, 9}) {
    if (cdb[reserved] != 0) {
      return trace.Reject(ControllerCheck(scsi::kInvalidFieldInCdb, autoSense), "a reserved byte of CDB 0x20 is set");
    }
  }
  ReplyBytes configuration;
  if (cdb[2] == kOpcodeConfiguration) {
    configuration = configuration_ ? *configuration_ : HhbaConfigurationReply(port().logicalDrives());
  }
  const ReplyBytes* reply = cdb[2] == kOpcodeVersion         ? &version_
                            : cdb[2] == kOpcodeConfiguration ? &configuration
                                                             : nullptr;
  if (reply == nullptr) {
    return trace.Reject(ControllerCheck(scsi::kInvalidFieldInCdb, autoSense), "unknown controller opcode");
  }
  const std::uint32_t length = (std::uint32_t{cdb[7]} << 8) | cdb[8];
  if (data.direction() != DataDirection::In && data.direction() != DataDirection::Either) {
    return trace.Reject(ControllerCheck(scsi::kInvalidFieldInCdb, autoSense), "controller replies are data in");
  }
  // The controller sends its reply cut to the allocation length; a shorter
  // reply moves only its own bytes (an underrun, which is no error).
  const std::span<std::uint8_t> area = data.In(std::min<std::uint32_t>(length, static_cast<std::uint32_t>(reply->size())));
  std::copy_n(reply->begin(), area.size(), area.begin());  // the reply may be empty
  Delivery delivery;
  delivery.reach = Delivery::Reach::Answered;
  delivery.result.transferred = data.transferred();
  trace.Set("controllerCommand", static_cast<unsigned>(cdb[2]));
  return delivery;
}

}  // namespace lumbrel::sim
