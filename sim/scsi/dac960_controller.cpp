#include "sim/scsi/dac960_controller.h"

#include <algorithm>
#include <cstring>

#include "sim/scsi/driver_errors.h"
#include "sim/scsi/miniport_request.h"
#include "sim/scsi/request_layouts.h"

namespace lumbrel::sim {
namespace {

namespace dac = layout::dac960;
using layout::Load;
using layout::Store;

constexpr std::uint8_t kFirmwareMajor = 3;
constexpr std::uint8_t kFirmwareMinor = 51;

std::uint32_t CompleteCommand(ControlRequest& request, std::uint16_t status) {
  Store(request.buffer, dac::kControllerStatus, status);
  request.bytesReturned = request.outputLength;
  return 0;
}

// What every request of the driver carries in its SRB_IO_CONTROL header.
bool HeaderAsSent(const std::uint8_t* block, std::uint32_t timeout) {
  return Load(block, layout::srb_io_control::kTimeout) == timeout &&
         Load(block, layout::srb_io_control::kControlCode) == dac::kControlCode;
}

}  // namespace

std::uint32_t Dac960Controller::ServePortDevice(ControlRequest& request) {
  if (request.ioctl != layout::kIoctlScsiMiniport) return ScsiPortController::ServePortDevice(request);
  DriverTrace trace(request.trace);
  if (const std::uint32_t error = CheckMiniportRequest(request, dac::kParameters.offset, "a command", trace)) {
    return error;
  }
  switch (Load(request.buffer, dac::kCommand)) {
    case dac::kCommandDirectCdb: return DirectCdb(request, trace);
    case dac::kCommandSetHostNumber:
    case dac::kCommandControllerInfo: return ControllerCommand(request, trace);
    default: return trace.Reject(CompleteCommand(request, dac::kStatusInvalidCommand), "unknown controller command");
  }
}

std::uint32_t Dac960Controller::DirectCdb(ControlRequest& request, DriverTrace& trace) {
  std::uint8_t* block = request.buffer;
  if (request.inputLength < dac::kDataArea) {
    return trace.Reject(driver_error::kInvalidParameter, "input shorter than the direct-CDB block");
  }
  const std::uint32_t declared = Load(block, layout::srb_io_control::kLength);
  const std::uint32_t control = Load(block, dac::kControl);
  const std::uint32_t direction = control & dac::kDirectionMask;
  const std::uint32_t length = Load(block, dac::kTransferLength);
  const std::uint32_t cdbLength = Load(block, dac::kCdbLength);
  const std::uint32_t senseLength = Load(block, dac::kSenseLength);
  if (!HeaderAsSent(block, dac::kTimeoutDirectCdb)) {
    return trace.Reject(CompleteCommand(request, dac::kStatusInvalidParameter), "Timeout is not 60 or ControlCode not 0");
  }
  if ((control & dac::kControlBit7) == 0 || (control & dac::kControlReservedMask) != 0) {
    return trace.Reject(CompleteCommand(request, dac::kStatusInvalidParameter), "control byte without bit 7, or with bits 2-6");
  }
  if (declared < dac::kDirectCdbBeforeData || length > declared - dac::kDirectCdbBeforeData ||
      length > dac::kMaxTransfer) {
    return trace.Reject(CompleteCommand(request, dac::kStatusInvalidParameter), "transfer length beyond the declared Length");
  }
  if (direction == 3 || (direction == dac::kDirectionNone && length != 0)) {
    return trace.Reject(CompleteCommand(request, dac::kStatusInvalidParameter), "bad data direction");
  }
  if (cdbLength == 0 || cdbLength > dac::kCdb.size) {
    return trace.Reject(CompleteCommand(request, dac::kStatusInvalidParameter), "bad CDB length");
  }
  if (senseLength > dac::kSenseArea.size) {
    return trace.Reject(CompleteCommand(request, dac::kStatusInvalidParameter), "sense length beyond its area");
  }
  const bool in = direction == dac::kDirectionIn;
  const std::uint64_t end = std::uint64_t{dac::kDataArea} + length;
  if (end > (in ? request.outputLength : request.inputLength)) {
    return trace.Reject(driver_error::kInvalidParameter, "data area beyond the buffer of its direction");
  }
  const std::uint32_t address = Load(block, dac::kDataAddress);
  if ((length != 0 || address != 0) && !AddressesCallerArea(machine(), request, address, dac::kDataArea)) {
    return trace.Reject(driver_error::kNoAccess, "data address is not the caller's buffer + 148");
  }

  const std::uint32_t device = Load(block, dac::kDevice);
  const std::uint32_t bus = device >> 4;
  const std::uint32_t target = device & 0x0F;
  const std::span<const std::uint8_t> cdb(block + dac::kCdb.offset, cdbLength);
  const DataDirection dataDirection =
      in ? DataDirection::In : direction == dac::kDirectionOut ? DataDirection::Out : DataDirection::None;
  DataPhase data(dataDirection, block + dac::kDataArea, length);
  if (dataDirection == DataDirection::Out) trace.Bytes("dataOut", block + dac::kDataArea, length);
  const Delivery delivery = port().Deliver(bus, target, 0, cdb, data, senseLength != 0);
  trace.Command(port(), bus, target, cdb, delivery);
  if (delivery.reach == Delivery::Reach::Absent) return CompleteCommand(request, dac::kStatusNoDevice);
  if (delivery.reach == Delivery::Reach::Silent) return CompleteCommand(request, dac::kStatusTimeout);
  if (delivery.result.phaseError) {
    return trace.Reject(CompleteCommand(request, dac::kStatusInvalidParameter), "data phase error");
  }

  Store(block, dac::kStatus, delivery.result.status);
  ReturnSense(delivery, block + dac::kSenseArea.offset, senseLength, trace);
  if (in && delivery.result.transferred != 0) trace.Returned("dataIn", block + dac::kDataArea, delivery.result.transferred);
  return CompleteCommand(request, delivery.result.status);
}

std::uint32_t Dac960Controller::ControllerCommand(ControlRequest& request, DriverTrace& trace) {
  std::uint8_t* block = request.buffer;
  const std::uint8_t command = static_cast<std::uint8_t>(Load(block, dac::kCommand));
  const std::uint32_t declared = Load(block, layout::srb_io_control::kLength);
  const std::uint32_t length = declared < dac::kCommandBeforeData ? 0 : declared - dac::kCommandBeforeData;
  trace.Set("controllerCommand", command);
  if (!HeaderAsSent(block, dac::kTimeoutControllerCommand)) {
    return trace.Reject(CompleteCommand(request, dac::kStatusInvalidParameter), "Timeout is not 5 or ControlCode not 0");
  }
  if (length < dac::kControllerBlockSize || length > dac::kMaxTransfer) {
    return trace.Reject(CompleteCommand(request, dac::kStatusInvalidParameter), "command data is not 64 to 4096 bytes");
  }
  if (request.inputLength < dac::kCommandData + dac::kControllerBlockSize ||
      request.outputLength < dac::kCommandData + dac::kControllerBlockSize) {
    return trace.Reject(driver_error::kInvalidParameter, "buffers shorter than the command and its block");
  }
  // 0xA0 and 0x3D take no parameters.
  for (const layout::Field parameter :
       {dac::kFirstParameter, dac::kSecondParameter, dac::kParameterZero, dac::kFirstParameterCopy}) {
    if (Load(block, parameter) != 0) {
      return trace.Reject(CompleteCommand(request, dac::kStatusInvalidParameter), "a parameter the command does not take");
    }
  }
  std::uint8_t* data = block + dac::kCommandData;
  if (command == dac::kCommandSetHostNumber) {
    hostBlock_.assign(data, data + dac::kControllerBlockSize);
    trace.Bytes("dataOut", data, dac::kControllerBlockSize);
  } else {
    const auto info = ControllerInfo();
    std::copy(info.begin(), info.end(), data);
    trace.Returned("dataIn", data, info.size());
  }
  return CompleteCommand(request, 0);
}

std::array<std::uint8_t, 64> Dac960Controller::ControllerInfo() const {
  std::array<std::uint8_t, 64> info{};
  info[0] = hostBlock_.empty() ? 0xFF : hostBlock_[0];  // the number the host gave the controller
  info[1] = static_cast<std::uint8_t>(port().busCount());
  info[2] = ScsiPort::kTargets;
  info[4] = kFirmwareMajor;
  info[5] = kFirmwareMinor;
  info[6] = static_cast<std::uint8_t>(port().Drives().size());
  return info;
}

}  // namespace lumbrel::sim
