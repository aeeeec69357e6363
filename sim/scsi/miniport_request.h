// IOCTL_SCSI_MINIPORT as the Windows port driver hands it to a miniport:
// the checks on the SRB_IO_CONTROL header that come before the miniport
// sees the request, and the address check that the controller drivers make
// on the data address in their blocks.
#pragma once

#include <cstdint>

#include "sim/device.h"
#include "sim/scsi/driver_trace.h"

namespace lumbrel::sim {

class Machine;

// 0 when the header is one the MegaRAID and DAC960 drivers accept (header
// length 28, zero signature, HeaderLength + Length within the buffer), else
// the Windows error of the request.
std::uint32_t CheckMiniportHeader(const ControlRequest& request, DriverTrace& trace);

// The header checks, then an input long enough for the miniport to read
// its command (`commandEnd` bytes; `command` names it in the refusal).
std::uint32_t CheckMiniportRequest(const ControlRequest& request, std::uint32_t commandEnd, const char* command,
                                   DriverTrace& trace);

// Whether a 32-bit process address in a request block is the caller's
// buffer plus `offset`, where the block's format puts the area.
bool AddressesCallerArea(const Machine& machine, const ControlRequest& request, std::uint32_t address,
                         std::uint32_t offset);

}  // namespace lumbrel::sim
