// The RAID views of every SCSI port, in port order (entry N belongs to
// port N), and the lookups that other parts of the library make over them:
// the members behind an address, the status of the arrays holding a drive,
// and the lowest RAID level among them.
#pragma once

#include <cstdint>

#include "discovery/port_table.h"
#include "raid/array_library.h"
#include "raid/raid_config.h"
#include "scsi/adapter_list.h"
#include "scsi/drive_address.h"

namespace lumbrel {

class RaidConfigList {
 public:
  // The ports to build views for, the adapters they attach to, and the
  // management library that the maker's controller is read through.
  RaidConfigList(PortTable& ports, AdapterList& adapters, ArrayLibrary& arrayLibrary)
      : ports_(ports), adapters_(adapters), arrayLibrary_(arrayLibrary) {}
  ~RaidConfigList() { FreeRaidConfigList(); }
  RaidConfigList(const RaidConfigList&) = delete;
  RaidConfigList& operator=(const RaidConfigList&) = delete;

  // Builds one view per port when the list is empty: 0, the port scan's error, or 8.
  std::uint32_t BuildRaidConfigList();
  std::uint32_t FreeRaidConfigList();
  std::uint32_t GetCount() const { return count_; }
  // The view of a port, attached to its adapter, with the adapter open.
  std::uint32_t GetRaidConfig(std::uint32_t port, RaidConfig** out);
  // The physical drives behind an address; `members` has room for
  // kMaxMembers. On any failure, or for a logical drive without members,
  // the address itself is the one member.
  std::uint32_t ExpandLogicalDrive(DriveAddress address, std::uint32_t* count, DriveAddress* members);
  // The highest status among the logical drives holding the drive; `status`
  // is left alone when the view cannot be had.
  std::uint32_t FindArrayStatus(DriveAddress address, std::uint32_t* status);
  // The lowest RAID level among the logical drives the drive is a member
  // of; 65535 when none.
  std::uint32_t FindRaidLevel(DriveAddress address, std::uint32_t* level);

  // The view variant of a class code, in library memory; null when memory runs out.
  RaidConfig* CreateRaidConfig(std::uint32_t port, std::uint32_t classCode);

 private:
  PortTable& ports_;
  AdapterList& adapters_;
  ArrayLibrary& arrayLibrary_;
  std::uint32_t count_ = 0;
  RaidConfig* configs_[PortTable::kCapacity] = {};
};

}  // namespace lumbrel
