#include "sim/scsi/megaraid_controller.h"

#include <algorithm>
#include <cstring>

#include "sim/scsi/driver_errors.h"
#include "sim/scsi/miniport_request.h"
#include "sim/scsi/request_layouts.h"

namespace lumbrel::sim {
namespace {

namespace mr = layout::megaraid;
using layout::Load;
using layout::Store;

std::uint32_t Complete(ControlRequest& request, std::uint8_t status) {
  Store(request.buffer, mr::kCommandStatus, status);
  request.bytesReturned = request.outputLength;
  return 0;
}

// The control byte the driver expects: automatic request sense, and the
// time-out class of the command (3 for FORMAT UNIT, 2 for WRITE BUFFER).
std::uint8_t ExpectedControl(bool in, std::uint8_t opcode) {
  std::uint8_t timeoutClass = mr::kTimeoutClassDefault;
  if (in && opcode == scsi::kFormatUnit) timeoutClass = mr::kTimeoutClassFormat;
  if (!in && opcode == scsi::kWriteBuffer) timeoutClass = mr::kTimeoutClassWriteBuffer;
  return mr::kControlAutoSense | timeoutClass;
}

// The enquiry and configuration mailboxes: command, status and 6 parameter
// bytes, then the reply data.
constexpr std::uint8_t kCommandEnquiry = 0x05;
constexpr std::uint8_t kCommandConfiguration = 0x07;
constexpr std::uint32_t kReplyData = mr::kReserved.end();
constexpr std::uint32_t kReplyDataSize = 2048;
constexpr std::uint32_t kControlCodeDescribe = 0;

}  // namespace

MegaRaidController::MegaRaidController(std::shared_ptr<ScsiPort> port, const Machine& machine,
                                       const ArrayReplyOverrides& replies)
    : ScsiPortController(std::move(port), machine),
      enquiry_(replies.enquiryReply.value_or(MegaRaidEnquiryReply())),
      configuration_(replies.configurationReply),
      mailboxStatus_(replies.mailboxStatus) {}

std::uint32_t MegaRaidController::ServePortDevice(ControlRequest& request) {
  if (request.ioctl != layout::kIoctlScsiMiniport) return ScsiPortController::ServePortDevice(request);
  DriverTrace trace(request.trace);
  if (const std::uint32_t error = CheckMiniportRequest(request, mr::kControl.offset, "a mailbox", trace)) return error;
  switch (Load(request.buffer, mr::kCommand)) {
    case mr::kCommandDirectCdb: return DirectCdb(request, trace);
    case kCommandEnquiry: return Describe(request, enquiry_, trace);
    case kCommandConfiguration:
      return Describe(request, configuration_ ? *configuration_ : MegaRaidConfigurationReply(port().logicalDrives()),
                      trace);
    default: return trace.Reject(Complete(request, mr::kStatusInvalid), "unknown mailbox command");
  }
}

std::uint32_t MegaRaidController::Describe(ControlRequest& request, const ReplyBytes& reply, DriverTrace& trace) {
  std::uint8_t* block = request.buffer;
  constexpr std::uint32_t kEnd = kReplyData + kReplyDataSize;
  if (request.inputLength < kEnd || request.outputLength < kEnd) {
    return trace.Reject(driver_error::kInvalidParameter, "buffer shorter than the mailbox and its 2048 reply bytes");
  }
  if (Load(block, layout::srb_io_control::kLength) < kEnd - layout::srb_io_control::kSize) {
    return trace.Reject(Complete(request, mr::kStatusInvalid), "Length leaves no room for the reply data");
  }
  if (Load(block, layout::srb_io_control::kTimeout) != mr::kTimeoutForever) {
    return trace.Reject(Complete(request, mr::kStatusInvalid), "Timeout is not 0xFFFFFFFF");
  }
  if (Load(block, layout::srb_io_control::kControlCode) != kControlCodeDescribe) {
    return trace.Reject(Complete(request, mr::kStatusInvalid), "ControlCode of a controller command is not 0");
  }
  if (Load(block, mr::kCommandStatus) != mr::kStatusPreset) {
    return trace.Reject(Complete(request, mr::kStatusInvalid), "command status not preset to 0xAA");
  }
  trace.Set("controllerCommand", static_cast<unsigned>(Load(block, mr::kCommand)));
  std::memset(block + kReplyData, 0, kReplyDataSize);
  std::copy_n(reply.begin(), std::min<std::size_t>(reply.size(), kReplyDataSize), block + kReplyData);  // may be empty
  trace.Returned("dataIn", block + kReplyData, kReplyDataSize);
  return Complete(request, mailboxStatus_);
}

std::uint32_t MegaRaidController::DirectCdb(ControlRequest& request, DriverTrace& trace) {
  std::uint8_t* block = request.buffer;
  if (request.inputLength < mr::kDataArea) {
    return trace.Reject(driver_error::kInvalidParameter, "input shorter than the direct-CDB mailbox");
  }
  const std::uint32_t controlCode = Load(block, layout::srb_io_control::kControlCode);
  const std::uint32_t cdbLength = Load(block, mr::kCdbLength);
  const std::uint32_t senseLength = Load(block, mr::kRequestSenseLength);
  const std::uint32_t length = Load(block, mr::kDataLength);
  const std::uint32_t declared = Load(block, layout::srb_io_control::kLength);
  if (controlCode != mr::kControlCodeIn && controlCode != mr::kControlCodeOut) {
    return trace.Reject(Complete(request, mr::kStatusInvalid), "ControlCode is neither 0 (in) nor 1 (out)");
  }
  if (Load(block, layout::srb_io_control::kTimeout) != mr::kTimeoutForever) {
    return trace.Reject(Complete(request, mr::kStatusInvalid), "Timeout is not 0xFFFFFFFF");
  }
  if (cdbLength == 0 || cdbLength > mr::kCdb.size) {
    return trace.Reject(Complete(request, mr::kStatusInvalid), "bad CDB length");
  }
  const bool in = controlCode == mr::kControlCodeIn;
  if (Load(block, mr::kControl) != ExpectedControl(in, block[mr::kCdb.offset])) {
    return trace.Reject(Complete(request, mr::kStatusInvalid),
                        "control byte is not automatic request sense with the command's time-out class");
  }
  if (Load(block, mr::kLogicalDrive) != 0) {
    return trace.Reject(Complete(request, mr::kStatusInvalid), "a direct CDB names no logical drive");
  }
  if (senseLength > mr::kRequestSenseArea.size) {
    return trace.Reject(Complete(request, mr::kStatusInvalid), "request sense length beyond its area");
  }
  if (Load(block, mr::kScatterGatherCount) != 0) {
    return trace.Reject(Complete(request, mr::kStatusInvalid), "scatter/gather lists are not taken here");
  }
  if (length > mr::kMaxTransfer || declared < mr::kMailboxBeforeData || length > declared - mr::kMailboxBeforeData) {
    return trace.Reject(Complete(request, mr::kStatusInvalid), "data length beyond the declared Length");
  }
  const std::uint64_t end = std::uint64_t{mr::kDataArea} + length;
  if (end > (in ? request.outputLength : request.inputLength)) {
    return trace.Reject(driver_error::kInvalidParameter, "data area beyond the buffer of its direction");
  }
  const std::uint32_t address = Load(block, mr::kDataAddress);
  if ((length != 0 || address != 0) && !AddressesCallerArea(machine(), request, address, mr::kDataArea)) {
    return trace.Reject(driver_error::kNoAccess, "data address is not the caller's buffer + 96");
  }

  const std::uint32_t bus = Load(block, mr::kChannel);
  const std::uint32_t target = Load(block, mr::kTarget);
  const std::span<const std::uint8_t> cdb(block + mr::kCdb.offset, cdbLength);
  DataPhase data(in ? DataDirection::In : DataDirection::Out, block + mr::kDataArea, length);
  if (!in) trace.Bytes("dataOut", block + mr::kDataArea, length);
  const Delivery delivery = port().Deliver(bus, target, 0, cdb, data, senseLength != 0);
  // From here on only the mailbox and what the drive wrote change.
  request.changedEnd = mr::kDataArea + data.reached();
  trace.Command(port(), bus, target, cdb, delivery);
  if (delivery.reach != Delivery::Reach::Answered) return Complete(request, mr::kStatusNoDevice);
  if (delivery.result.phaseError) return trace.Reject(Complete(request, mr::kStatusInvalid), "data phase error");

  Store(block, mr::kScsiStatus, delivery.result.status);
  ReturnSense(delivery, block + mr::kRequestSenseArea.offset, senseLength, trace);
  if (in && delivery.result.transferred != 0) trace.Returned("dataIn", block + mr::kDataArea, delivery.result.transferred);
  return Complete(request, delivery.result.status);
}

}  // namespace lumbrel::sim
