#include "sim/scsi/miniport_request.h"

#include <algorithm>
#include <string>

#include "sim/machine.h"
#include "sim/scsi/driver_errors.h"
#include "sim/scsi/request_layouts.h"

namespace lumbrel::sim {

namespace header = layout::srb_io_control;

std::uint32_t CheckMiniportHeader(const ControlRequest& request, DriverTrace& trace) {
  const std::uint8_t* block = request.buffer;
  if (request.inputLength < header::kSize) {
    return trace.Reject(driver_error::kInvalidParameter, "input shorter than SRB_IO_CONTROL");
  }
  if (layout::Load(block, header::kHeaderLength) != header::kSize) {
    return trace.Reject(driver_error::kRevisionMismatch, "HeaderLength is not the size of SRB_IO_CONTROL");
  }
  const std::uint64_t end = std::uint64_t{header::kSize} + layout::Load(block, header::kLength);
  if (end > std::max(request.inputLength, request.outputLength)) {
    return trace.Reject(driver_error::kInvalidParameter, "HeaderLength + Length exceeds the buffers");
  }
  for (std::uint32_t i = 0; i < header::kSignature.size; ++i) {
    if (block[header::kSignature.offset + i] != 0) {
      return trace.Reject(driver_error::kInvalidFunction, "signature of another miniport");
    }
  }
  return 0;
}

std::uint32_t CheckMiniportRequest(const ControlRequest& request, std::uint32_t commandEnd, const char* command,
                                   DriverTrace& trace) {
  if (const std::uint32_t error = CheckMiniportHeader(request, trace); error != 0) return error;
  if (request.inputLength < commandEnd) {
    return trace.Reject(driver_error::kInvalidParameter, (std::string("input shorter than ") + command).c_str());
  }
  return 0;
}

bool AddressesCallerArea(const Machine& machine, const ControlRequest& request, std::uint32_t address,
                         std::uint32_t offset) {
  const void* area = machine.Resolve(address, 1);
  if (area == nullptr) return false;
  const auto* input = static_cast<const std::uint8_t*>(request.userInput);
  const auto* output = static_cast<const std::uint8_t*>(request.userOutput);
  return (input != nullptr && area == input + offset) || (output != nullptr && area == output + offset);
}

}  // namespace lumbrel::sim
