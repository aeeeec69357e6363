#include "scsi/adapter_list.h"

#include "result_codes.h"
#include "scsi/controller_adapter.h"
#include "scsi/port_device_adapter.h"

namespace lumbrel {

ScsiAdapter* AdapterList::CreateAdapter(std::uint32_t port, std::uint32_t bufferSize) {
  const PortEntry* entry = ports_.GetPortEntry(port);
  if (entry == nullptr) return nullptr;
  const AdapterSetup setup{port, bufferSize, entry};
  switch (entry->classCode) {
    case AdapterClassBase:
      return new (std::nothrow) ScsiAdapter(setup);
    case AdapterClassMegaRaid:
      return new (std::nothrow) MegaRaidAdapter(setup);
    case AdapterClassDac960:
      return new (std::nothrow) Dac960Adapter(setup, dac960Numbering_);
    case AdapterClassHhba5100:
      return new (std::nothrow) Hhba5100Adapter(setup, addressCache_);
    case AdapterClassScsiPort:
    case AdapterClassAtapi:
      return new (std::nothrow) ScsiPortAdapter(setup, addressCache_);
    case AdapterClassQzv:
      return new (std::nothrow) QzvAdapter(setup, ports_.CountPortsOfClassBelow(AdapterClassQzv, port));
    default:
      return nullptr;
  }
}

std::uint32_t AdapterList::BuildAdapterList() {
  if (count_ != 0) return 0;
  if (const std::uint32_t error = ports_.ScanPorts(); error != 0) {
    FreeAdapterList();
    return error;
  }
  // The port table holds at most 10 ports, so the list never fills; the
  // bound only keeps the list inside its table.
  const std::uint32_t portCount = ports_.PortCount();
  for (std::uint32_t port = 0; port < portCount && port < kCapacity; ++port) {
    ScsiAdapter* adapter = CreateAdapter(port, kAdapterBufferSize);
    if (adapter == nullptr) {
      FreeAdapterList();
      return kNoMemory;
    }
    adapters_[count_++] = adapter;
  }
  return 0;
}

std::uint32_t AdapterList::FreeAdapterList() {
  for (std::uint32_t i = 0; i < count_ && i < kCapacity; ++i) {
    delete adapters_[i];
    adapters_[i] = nullptr;
  }
  count_ = 0;
  return 0;
}

ScsiAdapter* AdapterList::GetAdapter(std::uint32_t index) const {
  return index < count_ && index < kCapacity ? adapters_[index] : nullptr;
}

std::uint32_t AdapterList::FindAdapterIndex(std::uint32_t classCode, std::uint32_t ordinal, std::uint32_t* index) {
  std::uint32_t found = ordinal;
  if (classCode != AdapterClassBase && classCode != AdapterClassScsiPort && classCode != AdapterClassAtapi) {
    const std::uint32_t portCount = ports_.PortCount();
    std::uint32_t seen = 0;
    found = portCount;
    for (std::uint32_t port = 0; port < portCount; ++port) {
      const PortEntry* entry = ports_.GetPortEntry(port);
      if (entry == nullptr || entry->classCode != classCode) continue;
      if (seen++ == ordinal) {
        found = port;
        break;
      }
    }
  }
  if (found >= count_) return 0;
  if (index != nullptr) *index = found;
  return 1;
}

ScsiAdapter* AdapterList::OpenAdapter(std::uint32_t classCode, std::uint32_t ordinal) {
  std::uint32_t index = 0;
  if (FindAdapterIndex(classCode, ordinal, &index) == 0) return nullptr;
  ScsiAdapter* adapter = GetAdapter(index);
  if (adapter == nullptr || adapter->Open() != 0) return nullptr;
  return adapter;
}

std::uint32_t AdapterList::CountUnitsOnAdapter(std::uint32_t index) {
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
