// The host adapter objects of the SCSI ports: one per port of the port
// table, in port order, so that an adapter's list index is its port number.
// Built by the first operation that needs an adapter, torn down at unload
// and whenever building it fails.
#pragma once

#include <cstdint>

#include "discovery/port_table.h"
#include "scsi/address_cache.h"
#include "scsi/controller_adapter.h"

namespace lumbrel {

class ScsiAdapter;

class AdapterList {
 public:
  static constexpr std::uint32_t kCapacity = 16;
  static constexpr std::uint32_t kAdapterBufferSize = 49152;

  // The ports to build adapters for, and the address cache that the
  // port-device adapters share.
  AdapterList(PortTable& ports, ScsiAddressCache& addressCache) : ports_(ports), addressCache_(addressCache) {}
  ~AdapterList() { FreeAdapterList(); }
  AdapterList(const AdapterList&) = delete;
  AdapterList& operator=(const AdapterList&) = delete;

  // Builds the list when it is empty: the port scan's error, 8 when an
  // adapter could not be created (the list is emptied then), else 0.
  std::uint32_t BuildAdapterList();
  // Destroys every adapter and empties the list; 0.
  std::uint32_t FreeAdapterList();
  std::uint32_t GetAdapterCount() const { return count_; }
  // The adapter at a list index, or null.
  ScsiAdapter* GetAdapter(std::uint32_t index) const;
  // Resolves an adapter named by class code and ordinal: for classes 0, 4
  // and 5 the ordinal is the list index itself; for the others it counts
  // the ports of that class from 0. 1 and `index` (when given) when the
  // adapter is in the list, else 0.
  std::uint32_t FindAdapterIndex(std::uint32_t classCode, std::uint32_t ordinal, std::uint32_t* index);
  // The adapter, opened (Open returned 0), or null.
  ScsiAdapter* OpenAdapter(std::uint32_t classCode, std::uint32_t ordinal);
  // The direct-access units on every bus of one adapter; 0 when the index
  // is past the list or opening or scanning fails.
  std::uint32_t CountUnitsOnAdapter(std::uint32_t index);

  // Creates the adapter variant of the port's class code, in library
  // memory; null for an unknown class code or when memory runs out.
  ScsiAdapter* CreateAdapter(std::uint32_t port, std::uint32_t bufferSize);

 private:
  PortTable& ports_;
  ScsiAddressCache& addressCache_;
  Dac960Numbering dac960Numbering_;  // outlives the adapters that use it
  std::uint32_t count_ = 0;          // 0: not built
  ScsiAdapter* adapters_[kCapacity] = {};
};

}  // namespace lumbrel
