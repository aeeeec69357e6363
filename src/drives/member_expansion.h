// What the drive-letter map asks of the RAID views: the physical drives
// that lie behind an address (a logical drive's members, else the address
// itself). Given to the map at construction, so that drive letters do not
// depend on how array configurations are read.
#pragma once

#include <cstdint>

#include "scsi/drive_address.h"

namespace lumbrel {

class MemberExpansion {
 public:
  // `members` has room for kMaxMembers entries. On success with a nonzero
  // count the entries are the members; on failure the address itself is
  // the one entry and the result is nonzero.
  virtual std::uint32_t ExpandLogicalDrive(DriveAddress address, std::uint32_t* count, DriveAddress* members) = 0;

 protected:
  ~MemberExpansion() = default;
};

}  // namespace lumbrel
