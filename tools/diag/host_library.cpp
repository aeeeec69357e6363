// The library in the host build: linked in, running on a simulated machine.
#include <algorithm>
#include <chrono>
#include <thread>

#include "api/host_loader.h"
#include "api/module_state.h"
#include "library.h"
#include "platform/text.h"
#include "platform/win32.h"
#include "machine_view.h"
#include "sim/machine_description.h"
#include "result_codes.h"
#include "sim/simulator.h"

namespace lumbrel::diag {
namespace {

class HostLibrary : public Library {
 public:
  explicit HostLibrary(const LibraryOptions& options) {
    const sim::MachineConfig config =
        options.machineFile ? sim::ReadMachineFile(*options.machineFile) : sim::DefaultMachine();
    sim::InstallMachine(sim::BuildMachine(config));
    sim::CurrentMachine().clock().SetRealTime(options.realtime);
    // The trace starts before the load: the port scan at load is part of it.
    sim::CurrentMachine().trace().KeepAllReturnedData(options.traceAllData);
    if (options.traceFile) sim::CurrentMachine().trace().WriteTo(*options.traceFile);
    host::LoadModule();

    exports_.InitializeDiags = &::InitializeDiags;
    exports_.SFStartFlashPower = &::SFStartFlashPower;
    exports_.SFStopFlashPower = &::SFStopFlashPower;
    exports_.SFAdjustPowerLED = &::SFAdjustPowerLED;
    exports_.SetActivityCallback = &::SetActivityCallback;
    exports_.SetFormatCallback = &::SetFormatCallback;
    exports_.SetFirmwareCallback = &::SetFirmwareCallback;
    exports_.FlashDriveActivityLight = &::FlashDriveActivityLight;
    exports_.FlashActivityLightAllDrives = &::FlashActivityLightAllDrives;
    exports_.DeepFormatDrive = &::DeepFormatDrive;
    exports_.UpdateDriveFWImage = &::UpdateDriveFWImage;
    exports_.CountAdapterUnits = &::CountAdapterUnits;
    exports_.GetAllAdapterInfo = &::GetAllAdapterInfo;
    exports_.ReadDriveLogPage = &::ReadDriveLogPage;
    exports_.WriteDriveLogPage = &::WriteDriveLogPage;
    exports_.GetRaidLevel = &::GetRaidLevel;
    exports_.GetAllDriveLetters = &::GetAllDriveLetters;
    exports_.GetAllDiskConfigInfo = &::GetAllDiskConfigInfo;
    exports_.GetDriveReadiness = &::GetDriveReadiness;
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

  std::string Describe() const override {
    return "the LUMBREL library of the host build, linked in, on the simulated machine";
  }
  bool TraceFailed() const override { return sim::CurrentMachine().trace().WriteFailed(); }

  std::optional<nlohmann::ordered_json> MachineView() override { return DescribeMachine(sim::CurrentMachine()); }

  std::optional<DriveListing> Drives() override {
    ModuleState& module = Module();
    AdapterList& list = module.adapterList;
    DriveListing listing;
    listing.result = list.BuildAdapterList();
    if (listing.result != 0) return listing;
    for (std::uint32_t index = 0; index < list.GetAdapterCount(); ++index) {
      ScsiAdapter* adapter = list.OpenAdapter(AdapterClassBase, index);
      if (adapter == nullptr) continue;
      for (std::uint32_t bus = 0; bus < adapter->busCount && bus < ScsiAdapter::kMaxBuses; ++bus) {
        const ScsiBus* record = adapter->buses[bus];
        if (record == nullptr) continue;
        for (std::uint32_t target = 0; target < ScsiAdapter::kTargetCount; ++target) {
          if (!record->IsTargetPresent(target)) continue;
          listing.drives.push_back(Identify(*adapter, index, bus, target));
        }
      }
    }
    return listing;
  }

  ClockFunction Clock() const override {
    return [] { return sim::CurrentMachine().clock().ElapsedMilliseconds(); };
  }
  std::uint64_t JobMilliseconds() override {
    return std::max(Milliseconds(), sim::CurrentMachine().LatestThreadTime());
  }
  void Pause(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
  bool VirtualTime() const override { return true; }
  void CatchUp(std::uint64_t milliseconds) override { sim::CurrentMachine().clock().CatchUp(milliseconds); }

  bool AwaitJobMarkClear(JobKind kind, int attempt) override {
    const std::atomic<std::uint32_t>& mark = Module().jobs.of(kind == JobKind::Flash    ? lumbrel::JobKind::Flash
                                                              : kind == JobKind::Format ? lumbrel::JobKind::Format
                                                                                        : lumbrel::JobKind::Firmware);
    // The worker clears the mark as its next step after the callback; a
    // mark still set after this long belongs to a job that runs on.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    const bool wasSet = mark.load() != 0;
    while (mark.load() != 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    // A mark clear at once may have cleared just before the look: one more try.
    return mark.load() == 0 && (wasSet || attempt == 1);
  }

  // On the virtual clock a stop or a wait that comes before the flash loop
  // has begun would be lost: the loop sets its flag and reads its start
  // time only then.
  void AwaitJobUnderway(JobKind kind, const std::function<bool()>& ended) override {
    if (kind != JobKind::Flash) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (Module().flashRunning.load() == 0 && !ended() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
  }

 private:
  static constexpr std::size_t kPathSize = 260;

  static DriveInfo Identify(ScsiAdapter& adapter, std::uint32_t adapterNumber, std::uint32_t bus,
                            std::uint32_t target) {
    DriveInfo info;
    info.adapterNumber = adapterNumber;
    info.bus = bus;
    info.target = target;
    DriveIdentity identity;
    info.identifyResult = Module().driveIdentifier.IdentifyDrive(adapter, bus, target, &identity);
    // 1004001 still fills the record: the identity of an unknown drive.
    if (info.identifyResult == 0 || info.identifyResult == kOperationRefused) {
      if (identity.vendorName != nullptr) info.vendorName = identity.vendorName;
      info.vendorNumber = identity.vendorNumber;
      info.capabilities = identity.capabilities;
      if (identity.revisionCode != nullptr) info.revisionCode = identity.revisionCode;
    }
    return info;
  }
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
