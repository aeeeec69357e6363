#include "sim/scsi/scsi_port_controller.h"

#include <algorithm>
#include <cstring>

#include "sim/scsi/driver_errors.h"
#include "sim/scsi/request_layouts.h"

namespace lumbrel::sim {
namespace {

namespace pt = layout::pass_through;
using layout::Load;
using layout::Store;

constexpr std::uint32_t kMaxTransfer = 0x10000;  // the adapters' largest transfer

// Whether the port driver sees a unit at the address: the drives behind an
// array controller are hidden from it.
bool Visible(const ScsiPort& port, const ScsiDrive* drive) {
  return drive != nullptr && !DrivesBehindController(port.family());
}

// Whether two areas of the buffer share a byte.
bool Overlap(std::uint32_t offset, std::uint32_t length, std::uint32_t otherOffset, std::uint32_t otherLength) {
  return length != 0 && otherLength != 0 && std::uint64_t{offset} < std::uint64_t{otherOffset} + otherLength &&
         std::uint64_t{otherOffset} < std::uint64_t{offset} + length;
}

}  // namespace

std::uint32_t ScsiPortController::ServePortDevice(ControlRequest& request) {
  if (request.ioctl == layout::kIoctlScsiPassThrough) return PassThrough(request, nullptr);
  return DriverTrace(request.trace).Reject(driver_error::kInvalidFunction, "the port device does not serve this code");
}

std::uint32_t ScsiPortController::ServeControllerDevice(ControlRequest& request) {
  return DriverTrace(request.trace).Reject(driver_error::kInvalidFunction, "the port has no controller device");
}

std::uint32_t ScsiPortController::ReturnSense(const Delivery& delivery, std::uint8_t* area, std::uint32_t room,
                                              DriverTrace& trace) {
  const std::uint32_t copied = std::min(delivery.senseLength, room);
  if (copied == 0) return 0;
  std::memcpy(area, delivery.sense.data(), copied);
  trace.Returned("sense", area, copied);
  return copied;
}

Delivery ScsiPortController::RunPassThroughCommand(const PassThroughCommand& command, DataPhase& data,
                                                   DriverTrace& trace) {
  const Delivery delivery = port_->Deliver(command.bus, command.target, command.lun, command.cdb, data, command.autoSense);
  trace.Command(*port_, command.bus, command.target, command.cdb, delivery);
  return delivery;
}

std::uint32_t ScsiPortController::PassThrough(ControlRequest& request, const ScsiDrive* owner) {
  ScsiPort& port = *port_;
  DriverTrace trace(request.trace);
  std::uint8_t* block = request.buffer;
  if (request.inputLength < pt::kSize) {
    return trace.Reject(driver_error::kInvalidParameter, "input shorter than SCSI_PASS_THROUGH");
  }
  if (Load(block, pt::kLength) != pt::kSize) {
    return trace.Reject(driver_error::kRevisionMismatch, "Length is not the size of SCSI_PASS_THROUGH");
  }
  const std::uint32_t cdbLength = Load(block, pt::kCdbLength);
  const std::uint32_t maxCdb = port.family() == PortFamily::Ide ? 12 : pt::kCdb.size;
  if (cdbLength == 0 || cdbLength > maxCdb) return trace.Reject(driver_error::kInvalidParameter, "bad CdbLength");
  const std::uint32_t direction = Load(block, pt::kDataIn);
  if (direction > pt::kDataUnspecified) return trace.Reject(driver_error::kInvalidParameter, "bad DataIn");
  const std::uint32_t timeout = Load(block, pt::kTimeOutValue);
  if (timeout == 0 || timeout > pt::kMaxTimeOut) {
    return trace.Reject(driver_error::kInvalidParameter, "TimeOutValue out of range");
  }
  const std::uint32_t senseLength = Load(block, pt::kSenseInfoLength);
  const std::uint32_t senseOffset = Load(block, pt::kSenseInfoOffset);
  if (senseLength != 0 &&
      (senseOffset < pt::kSize || std::uint64_t{senseOffset} + senseLength > request.outputLength)) {
    return trace.Reject(driver_error::kInvalidParameter, "sense area outside the output buffer");
  }
  const std::uint32_t length = Load(block, pt::kDataTransferLength);
  const std::uint32_t dataOffset = Load(block, pt::kDataBufferOffset);
  if (length != 0) {
    if (length > kMaxTransfer) return trace.Reject(driver_error::kInvalidParameter, "DataTransferLength too large");
    const std::uint64_t end = std::uint64_t{dataOffset} + length;
    const bool fitsOut = end <= request.outputLength;
    const bool fitsIn = end <= request.inputLength;
    const bool fits = direction == pt::kDataInput ? fitsOut : direction == pt::kDataOut ? fitsIn : fitsIn && fitsOut;
    if (dataOffset < pt::kSize || !fits) {
      return trace.Reject(driver_error::kInvalidParameter, "data area outside the buffer of its direction");
    }
  }
  if (Overlap(senseOffset, senseLength, dataOffset, length)) {
    return trace.Reject(driver_error::kInvalidParameter, "sense area runs into the data area");
  }

  if (owner != nullptr) {
    Store(block, pt::kPathId, owner->address().bus);
    Store(block, pt::kTargetId, owner->address().target);
    Store(block, pt::kLun, 0);
  }
  const std::uint32_t bus = Load(block, pt::kPathId);
  const std::uint32_t target = Load(block, pt::kTargetId);
  const std::uint32_t lun = Load(block, pt::kLun);
  const std::span<const std::uint8_t> cdb(block + pt::kCdb.offset, cdbLength);
  const DataDirection dataDirection = direction == pt::kDataInput ? DataDirection::In
                                      : direction == pt::kDataOut ? DataDirection::Out
                                                                  : DataDirection::Either;
  DataPhase data(dataDirection, block + dataOffset, length);
  if (dataDirection != DataDirection::In) trace.Bytes("dataOut", block + dataOffset, length);

  const ScsiDrive* drive = port.Drive(bus, target, lun);
  if (owner == nullptr && (!Visible(port, drive) || drive->config().claimed())) {
    return trace.Reject(driver_error::kInvalidParameter,
                        Visible(port, drive) ? "the unit is claimed by a class driver" : "no unit at the address");
  }
  const Delivery delivery = RunPassThroughCommand({bus, target, lun, cdb, senseLength != 0}, data, trace);
  if (delivery.reach == Delivery::Reach::Absent) {
    return trace.Reject(driver_error::kInvalidParameter, "no unit at the address");
  }
  if (delivery.reach == Delivery::Reach::Silent) return driver_error::kSemTimeout;
  if (delivery.result.phaseError) return driver_error::kIoDevice;

  const CommandResult& result = delivery.result;
  Store(block, pt::kScsiStatus, result.status);
  Store(block, pt::kDataTransferLength, result.transferred);
  const std::uint32_t senseCopied = ReturnSense(delivery, block + senseOffset, senseLength, trace);
  Store(block, pt::kSenseInfoLength, senseCopied);

  std::uint32_t returned = pt::kSize;
  if (senseCopied != 0) returned = std::max(returned, senseOffset + senseCopied);
  if (dataDirection != DataDirection::Out && result.transferred != 0) {
    trace.Returned("dataIn", block + dataOffset, result.transferred);
    returned = std::max(returned, dataOffset + result.transferred);
  }
  request.bytesReturned = returned;
  return 0;
}

}  // namespace lumbrel::sim
