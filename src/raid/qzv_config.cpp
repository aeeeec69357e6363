#include "raid/qzv_config.h"

#include <algorithm>

#include "result_codes.h"

namespace lumbrel {

QzvConfig::QzvConfig(PortTable& ports, ArrayLibrary& library)
    : RaidConfig(std::max(kRequestedBufferSize, kMinimumBufferSize)), ports_(ports), library_(library) {}

// Reading the containers through the management library comes next.
std::uint32_t QzvConfig::Refresh() { return kNotSupported; }

}  // namespace lumbrel
