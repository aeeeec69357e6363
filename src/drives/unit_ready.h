// The readiness probe that the format, the firmware download and the
// readiness check share.
#pragma once

#include <cstdint>

#include "scsi/scsi_adapter.h"

namespace lumbrel {

// TEST UNIT READY; a CHECK CONDITION (2) is answered by sending it once
// more, whose result is the answer. Any other result is the answer at once.
std::uint32_t TestUnitReadyRetry(ScsiAdapter& adapter, std::uint32_t bus, std::uint32_t target);

}  // namespace lumbrel
