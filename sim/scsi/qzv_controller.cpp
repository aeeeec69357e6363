#include "sim/scsi/qzv_controller.h"

#include <algorithm>
#include <cstring>

#include "sim/machine.h"
#include "sim/scsi/driver_errors.h"
#include "sim/scsi/driver_trace.h"
#include "sim/scsi/miniport_request.h"
#include "sim/scsi/request_layouts.h"

namespace lumbrel::sim {
namespace {

namespace srb = layout::srb;
using layout::Load;
using layout::Store;

constexpr std::uint32_t kMaxSrbTransfer = 0x10000;

std::uint32_t CompleteSrb(ControlRequest& request, std::uint8_t srbStatus) {
  Store(request.buffer, srb::kSrbStatus, srbStatus);
  request.bytesReturned = srb::kSize;
  return 0;
}

// The time-out that the request of a command carries.
std::uint32_t ExpectedTimeOut(bool in, std::uint8_t opcode) {
  if (in && opcode == scsi::kFormatUnit) return srb::kTimeOutFormat;
  if (!in && opcode == scsi::kWriteBuffer) return srb::kTimeOutWriteBuffer;
  return srb::kTimeOutDefault;
}

}  // namespace

std::uint32_t QzvController::ServeControllerDevice(ControlRequest& request) {
  DriverTrace trace(request.trace);
  if (request.ioctl != layout::kIoctlQzvExecuteSrb) {
    return trace.Reject(driver_error::kInvalidFunction, "the controller takes only its own control code");
  }
  if (request.inputLength < srb::kSize || request.outputLength < srb::kSize) {
    return trace.Reject(driver_error::kInvalidParameter, "buffers shorter than SCSI_REQUEST_BLOCK");
  }
  std::uint8_t* block = request.buffer;
  if (Load(block, srb::kLength) != srb::kSize) {
    return trace.Reject(driver_error::kInvalidParameter, "Length is not the size of SCSI_REQUEST_BLOCK");
  }
  const std::uint32_t cdbLength = Load(block, srb::kCdbLength);
  const std::uint32_t senseLength = Load(block, srb::kSenseInfoBufferLength);
  const std::uint32_t flags = Load(block, srb::kSrbFlags);
  const std::uint32_t length = Load(block, srb::kDataTransferLength);
  const bool in = flags == srb::kFlagsIn;
  const bool out = flags == srb::kFlagsOut;
  if (Load(block, srb::kFunction) != srb::kFunctionExecuteScsi) {
    return trace.Reject(CompleteSrb(request, srb::kStatusInvalidRequest), "Function is not EXECUTE_SCSI");
  }
  if (cdbLength == 0 || cdbLength > srb::kCdb.size) {
    return trace.Reject(CompleteSrb(request, srb::kStatusInvalidRequest), "bad CdbLength");
  }
  if (senseLength > srb::kSenseAreaSize) {
    return trace.Reject(CompleteSrb(request, srb::kStatusInvalidRequest), "SenseInfoBufferLength beyond the sense area");
  }
  if (Load(block, srb::kQueueTag) != srb::kQueueTagUntagged) {
    return trace.Reject(CompleteSrb(request, srb::kStatusInvalidRequest), "QueueTag is not SP_UNTAGGED");
  }
  if (!in && !out) {
    return trace.Reject(CompleteSrb(request, srb::kStatusInvalidRequest),
                        "SrbFlags are not 0x00010048 (in) or 0x00010088 (out)");
  }
  if (Load(block, srb::kTimeOutValue) != ExpectedTimeOut(in, block[srb::kCdb.offset])) {
    return trace.Reject(CompleteSrb(request, srb::kStatusInvalidRequest), "TimeOutValue is not the command's");
  }
  if ((in && length < srb::kMinInputLength) || length > kMaxSrbTransfer) {
    return trace.Reject(CompleteSrb(request, srb::kStatusInvalidRequest), "DataTransferLength out of range");
  }
  const std::uint32_t dataAddress = Load(block, srb::kDataBuffer);
  const std::uint32_t senseAddress = Load(block, srb::kSenseInfoBuffer);
  if ((length != 0 || dataAddress != 0) && !AddressesCallerArea(machine(), request, dataAddress, srb::kDataArea)) {
    return trace.Reject(driver_error::kNoAccess, "DataBuffer is not the caller's block + 96");
  }
  if ((senseLength != 0 || senseAddress != 0) &&
      !AddressesCallerArea(machine(), request, senseAddress, srb::kSenseArea)) {
    return trace.Reject(driver_error::kNoAccess, "SenseInfoBuffer is not the caller's block + 64");
  }

  const std::uint32_t bus = Load(block, srb::kPathId);
  const std::uint32_t target = Load(block, srb::kTargetId);
  const std::uint32_t lun = Load(block, srb::kLun);
  if (bus >= port().busCount()) return CompleteSrb(request, srb::kStatusInvalidPathId);
  if (target >= ScsiPort::kTargets) return CompleteSrb(request, srb::kStatusInvalidTargetId);
  if (lun != 0) return CompleteSrb(request, srb::kStatusInvalidLun);

  // The caller's memory, reached through the addresses.
  auto* dataArea = length == 0 ? nullptr : static_cast<std::uint8_t*>(machine().Resolve(dataAddress, length));
  auto* senseArea = senseLength == 0 ? nullptr : static_cast<std::uint8_t*>(machine().Resolve(senseAddress, senseLength));
  const std::span<const std::uint8_t> cdb(block + srb::kCdb.offset, cdbLength);
  DataPhase data(in ? DataDirection::In : DataDirection::Out, dataArea, length);
  if (out) trace.Bytes("dataOut", dataArea, length);
  const Delivery delivery = port().Deliver(bus, target, lun, cdb, data, senseLength != 0);
  trace.Command(port(), bus, target, cdb, delivery);
  if (delivery.reach != Delivery::Reach::Answered) return CompleteSrb(request, srb::kStatusSelectionTimeout);
  if (delivery.result.phaseError) return CompleteSrb(request, srb::kStatusPhaseSequenceFailure);

  const CommandResult& result = delivery.result;
  Store(block, srb::kScsiStatus, result.status);
  Store(block, srb::kDataTransferLength, result.transferred);
  ReturnSense(delivery, senseArea, senseLength, trace);
  if (in && result.transferred != 0) trace.Returned("dataIn", dataArea, result.transferred);
  // A transfer shorter than the length asked for is reported as an overrun,
  // as Windows miniports do.
  return CompleteSrb(request, result.transferred < length ? srb::kStatusDataOverrun : srb::kStatusSuccess);
}

}  // namespace lumbrel::sim
