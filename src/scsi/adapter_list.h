// The process-wide list of host adapter objects: one per SCSI port of the
// port table, in port order, so that an adapter's list index is its port
// number. Built by the first operation that needs an adapter, torn down at
// unload and whenever building it fails.
#pragma once

#include <cstdint>

namespace lumbrel {

class ScsiAdapter;

// The list's state, kept in ModuleState.
struct AdapterList {
  static constexpr std::uint32_t kCapacity = 16;
  static constexpr std::uint32_t kAdapterBufferSize = 49152;

  AdapterList() = default;
  ~AdapterList();
  AdapterList(const AdapterList&) = delete;
  AdapterList& operator=(const AdapterList&) = delete;

  std::uint32_t count = 0;  // 0: not built
  ScsiAdapter* adapters[kCapacity] = {};
};

// Builds the list when it is empty: the port scan's error, 8 when an adapter
// could not be created (the list is emptied then), else 0.
std::uint32_t BuildAdapterList();
// Destroys every adapter and empties the list; 0.
std::uint32_t FreeAdapterList();
std::uint32_t GetAdapterCount();
// The adapter at a list index, or null.
ScsiAdapter* GetAdapter(std::uint32_t index);
// Resolves an adapter named by class code and ordinal: for classes 0, 4 and
// 5 the ordinal is the list index itself; for the others it counts the
// ports of that class from 0. 1 and `index` (when given) when the adapter is
// in the list, else 0.
std::uint32_t FindAdapterIndex(std::uint32_t classCode, std::uint32_t ordinal, std::uint32_t* index);
// The adapter, opened (Open returned 0), or null.
ScsiAdapter* OpenAdapter(std::uint32_t classCode, std::uint32_t ordinal);
// The direct-access units on every bus of one adapter; 0 when the index is
// past the list or opening or scanning fails.
std::uint32_t CountUnitsOnAdapter(std::uint32_t index);

// Creates the adapter variant of a class code for a port, in library
// memory; null for an unknown class code or when memory runs out.
ScsiAdapter* CreateAdapter(std::uint32_t classCode, std::uint32_t adapterNumber, std::uint32_t bufferSize);

}  // namespace lumbrel
