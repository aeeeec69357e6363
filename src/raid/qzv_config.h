// The RAID view of the maker's own array controller (class 6), read
// through the array controller management library: its containers are the
// logical drives.
#pragma once

#include <cstdint>

#include "discovery/port_table.h"
#include "platform/byte_view.h"
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

  // Container numbers are one byte: no controller reports more containers.
  static constexpr std::uint32_t kMaxContainers = 256;

 private:
  // Steps 4 to 10 of a refresh on an open controller: the library's status
  // (1 when nothing failed), or 8.
  std::uint32_t ReadContainers(std::uint32_t handle, std::uint32_t now);
  void ReadVersion(std::uint32_t handle);
  void FillRecord(std::uint32_t index, ByteView record);

  PortTable& ports_;
  ArrayLibrary& library_;
};

// The array status of a container record, given its RAID level: the state
// table, refined for RAID 5 by the two state qualifiers. A state code
// outside the table has status 0.
std::uint32_t MapContainerStatus(ByteView record, std::uint32_t raidLevel);

// The RAID level of a container type; 65535 for none or an unknown type.
std::uint32_t ContainerRaidLevel(std::uint32_t type);

}  // namespace lumbrel
