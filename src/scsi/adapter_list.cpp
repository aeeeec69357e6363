#include "scsi/adapter_list.h"

#include "api/module_state.h"
#include "api/result_codes.h"
#include "scsi/controller_adapter.h"
#include "scsi/port_device_adapter.h"

namespace lumbrel {

AdapterList::~AdapterList() {
  for (std::uint32_t i = 0; i < count && i < kCapacity; ++i) {
    delete adapters[i];
    adapters[i] = nullptr;
  }
  count = 0;
}

ScsiAdapter* CreateAdapter(std::uint32_t classCode, std::uint32_t number, std::uint32_t bufferSize) {
  switch (classCode) {
    case AdapterClassBase:
      return new (std::nothrow) ScsiAdapter(number, bufferSize);
    case AdapterClassMegaRaid:
      return new (std::nothrow) MegaRaidAdapter(number, bufferSize);
    case AdapterClassDac960:
      return new (std::nothrow) Dac960Adapter(number, bufferSize);
    case AdapterClassHhba5100:
      return new (std::nothrow) Hhba5100Adapter(number, bufferSize);
    case AdapterClassScsiPort:
    case AdapterClassAtapi:
      return new (std::nothrow) ScsiPortAdapter(number, bufferSize);
    case AdapterClassQzv:
      return new (std::nothrow) QzvAdapter(number, bufferSize);
    default:
      return nullptr;
  }
}

std::uint32_t BuildAdapterList() {
  AdapterList& list = Module().adapterList;
  if (list.count != 0) return 0;
  PortTable& ports = Module().portTable;
  if (const std::uint32_t error = ports.ScanPorts(); error != 0) {
    FreeAdapterList();
    return error;
  }
  // The port table holds at most 10 ports, so the list never fills; the
  // bound only keeps the list inside its table.
  const std::uint32_t portCount = ports.PortCount();
  for (std::uint32_t port = 0; port < portCount && port < AdapterList::kCapacity; ++port) {
    const PortEntry* entry = ports.GetPortEntry(port);
    ScsiAdapter* adapter = entry != nullptr ? CreateAdapter(entry->classCode, port, AdapterList::kAdapterBufferSize)
                                            : nullptr;
    if (adapter == nullptr) {
      FreeAdapterList();
      return kNoMemory;
    }
    // The adapter has as many buses as it could create records for: a bus
    // count above that would name records that do not exist.
    if (entry->busCount < adapter->busCount) adapter->busCount = entry->busCount;
    list.adapters[list.count++] = adapter;
  }
  return 0;
}

std::uint32_t FreeAdapterList() {
  AdapterList& list = Module().adapterList;
  for (std::uint32_t i = 0; i < list.count && i < AdapterList::kCapacity; ++i) {
    delete list.adapters[i];
    list.adapters[i] = nullptr;
  }
  list.count = 0;
  return 0;
}

std::uint32_t GetAdapterCount() { return Module().adapterList.count; }

ScsiAdapter* GetAdapter(std::uint32_t index) {
  const AdapterList& list = Module().adapterList;
  return index < list.count && index < AdapterList::kCapacity ? list.adapters[index] : nullptr;
}

std::uint32_t FindAdapterIndex(std::uint32_t classCode, std::uint32_t ordinal, std::uint32_t* index) {
  std::uint32_t found = ordinal;
  if (classCode != AdapterClassBase && classCode != AdapterClassScsiPort && classCode != AdapterClassAtapi) {
    PortTable& ports = Module().portTable;
    const std::uint32_t portCount = ports.PortCount();
    std::uint32_t seen = 0;
    found = portCount;
    for (std::uint32_t port = 0; port < portCount; ++port) {
      const PortEntry* entry = ports.GetPortEntry(port);
      if (entry == nullptr || entry->classCode != classCode) continue;
      if (seen++ == ordinal) {
        found = port;
        break;
      }
    }
  }
  if (found >= GetAdapterCount()) return 0;
  if (index != nullptr) *index = found;
  return 1;
}

ScsiAdapter* OpenAdapter(std::uint32_t classCode, std::uint32_t ordinal) {
  std::uint32_t index = 0;
  if (FindAdapterIndex(classCode, ordinal, &index) == 0) return nullptr;
  ScsiAdapter* adapter = GetAdapter(index);
  if (adapter == nullptr || adapter->Open() != 0) return nullptr;
  return adapter;
}

std::uint32_t CountUnitsOnAdapter(std::uint32_t index) {
  ScsiAdapter* adapter = GetAdapter(index);
  if (adapter == nullptr) return 0;
  const bool wasOpen = adapter->deviceHandle.IsOpen();
  if (wasOpen) {
    if (adapter->RescanUnits(nullptr) != 0) return 0;
  } else if (adapter->Open() != 0) {
    return 0;
  }
  std::uint32_t units = 0;
  for (std::uint32_t bus = 0; bus < adapter->busCount && bus < ScsiAdapter::kMaxBuses; ++bus) {
    if (adapter->buses[bus] != nullptr) units += adapter->buses[bus]->unitCount;
  }
  if (!wasOpen) adapter->Close();
  return units;
}

}  // namespace lumbrel
