// The library in the host build: linked in, running on a simulated machine.
#include "api/host_loader.h"
#include "api/module_state.h"
#include "library.h"
#include "platform/text.h"
#include "machine_view.h"
#include "sim/machine_description.h"
#include "sim/simulator.h"

namespace lumbrel::diag {
namespace {

class HostLibrary : public Library {
 public:
  explicit HostLibrary(const LibraryOptions& options) {
    const sim::MachineConfig config =
        options.machineFile ? sim::ReadMachineFile(*options.machineFile) : sim::DefaultMachine();
    sim::InstallMachine(sim::BuildMachine(config));
    // The trace starts before the load: the port scan at load is part of it.
    if (options.traceFile) sim::CurrentMachine().trace().WriteTo(*options.traceFile);
    host::LoadModule();

    exports_.InitializeDiags = &::InitializeDiags;
    exports_.SFStartFlashPower = &::SFStartFlashPower;
    exports_.SFStopFlashPower = &::SFStopFlashPower;
    exports_.SFAdjustPowerLED = &::SFAdjustPowerLED;
    exports_.SetActivityCallback = &::SetActivityCallback;
    exports_.SetFormatCallback = &::SetFormatCallback;
    exports_.SetFirmwareCallback = &::SetFirmwareCallback;
    exports_.CountAdapterUnits = &::CountAdapterUnits;
    exports_.GetAllAdapterInfo = &::GetAllAdapterInfo;
  }

  ~HostLibrary() override {
    host::UnloadModule();
    sim::CurrentMachine().WaitForThreads();
  }

  std::optional<PortListing> Ports() override {
    PortTable& table = Module().portTable;
    PortListing listing;
    listing.result = table.ScanPorts();
    const std::uint32_t count = table.PortCount();
    for (std::uint32_t port = 0; port < count; ++port) {
      PortInfo info;
      info.port = port;
      PortDescription description{};
      table.GetPortDescription(port, &description);
      info.classCode = description.classCode;
      info.driverName.assign(description.driverName, BoundedLength(description.driverName, sizeof description.driverName));
      info.vendorName.assign(description.vendorName, BoundedLength(description.vendorName, sizeof description.vendorName));
      if (const PortEntry* entry = table.GetPortEntry(port)) info.busCount = entry->busCount;
      char path[kPathSize] = {};
      if (table.GetDriverFilePath(port, path, sizeof path)) info.driverFilePath = path;
      listing.ports.push_back(std::move(info));
    }
    return listing;
  }

  std::optional<nlohmann::ordered_json> MachineView() override { return DescribeMachine(sim::CurrentMachine()); }

 private:
  static constexpr std::size_t kPathSize = 260;
};

}  // namespace

std::unique_ptr<Library> OpenLibrary(const LibraryOptions& options) {
  try {
    return std::make_unique<HostLibrary>(options);
  } catch (const sim::MachineFormatError& error) {
    throw std::runtime_error(error.what());
  }
}

}  // namespace lumbrel::diag
