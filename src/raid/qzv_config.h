// The RAID view of the maker's own array controller (class 6), read
// through the array controller management library: its containers are the
// logical drives.
#pragma once

#include <cstdint>

#include "discovery/port_table.h"
#include "raid/array_library.h"
#include "raid/raid_config.h"

namespace lumbrel {

class QzvConfig : public RaidConfig {
 public:
  static constexpr std::uint32_t kRequestedBufferSize = 4096;
  static constexpr std::uint32_t kMinimumBufferSize = 4608;  // room for one container record

  QzvConfig(PortTable& ports, ArrayLibrary& library);
  std::uint32_t Refresh() override;

  std::uint32_t configurationId = 0;  // what the controller reported at the last completed refresh

 private:
  PortTable& ports_;
  ArrayLibrary& library_;
};

}  // namespace lumbrel
