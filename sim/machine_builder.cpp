// Builds the simulated server from a checked machine description.
#include <cstdio>
#include <cstring>

#include "platform/win32.h"
#include "sim/machine_description.h"
#include "sim/scsi/device_namespace.h"
#include "sim/text_util.h"
#include "sim/version_resource.h"
#include "sim/volume_device.h"

namespace lumbrel::sim {

std::string ResolveDriverImagePath(const MachineSettings& settings, const std::string& service,
                                   const std::optional<std::string>& imagePath) {
  if (!imagePath) return settings.windowsDirectory + "\\System32\\drivers\\" + service + ".sys";
  std::string path = *imagePath;
  for (const char* variable : {"%SystemRoot%", "%windir%"}) {
    if (StartsWithIgnoreCase(path, variable)) path = settings.windowsDirectory + path.substr(std::strlen(variable));
  }
  if (StartsWithIgnoreCase(path, "\\??\\")) path = path.substr(4);
  if (StartsWithIgnoreCase(path, "\\SystemRoot\\")) return settings.windowsDirectory + path.substr(11);
  if (path.size() >= 2 && path[1] == ':') return path;
  if (StartsWithIgnoreCase(path, "\\\\")) return path;
  // A relative ImagePath is taken from the Windows directory.
  return settings.windowsDirectory + "\\" + (path.empty() || path[0] != '\\' ? path : path.substr(1));
}

std::unique_ptr<Machine> BuildMachine(const MachineConfig& config) {
  auto machine = std::make_unique<Machine>(config.settings);
  RegistryKey& localMachine = machine->registry().localMachine();
  RegistryKey& services = localMachine.Create("SYSTEM\\CurrentControlSet\\Services");
  localMachine.Create("HARDWARE\\DEVICEMAP\\Scsi");

  for (const PortConfig& port : config.ports) {
    char name[64];
    std::snprintf(name, sizeof name, "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port %u", static_cast<unsigned>(port.number));
    RegistryKey& portKey = localMachine.Create(name);
    if (port.driver) portKey.SetString("Driver", *port.driver, REG_SZ);
    for (std::size_t bus = 0; bus < port.buses.size(); ++bus) {
      std::snprintf(name, sizeof name, "Scsi Bus %zu", bus);
      portKey.Create(name);
    }
    if (port.driver && port.service) {
      RegistryKey& serviceKey = services.Create(*port.driver);
      if (port.service->imagePath) serviceKey.SetString("ImagePath", *port.service->imagePath, REG_EXPAND_SZ);
      if (port.service->fileVersion) {
        const std::string path = ResolveDriverImagePath(config.settings, *port.driver, port.service->imagePath);
        machine->files().Create(path)->data = MakeDriverImage(*port.service->fileVersion);
      }
    }
  }

  BuildScsiDevices(*machine, config.ports);

  machine->arrayLibrary().config = config.arrayLibrary;
  if (config.arrayLibrary.probeFile) machine->files().Create(config.settings.systemDirectory + "\\AfaAppSe.dll");

  for (const FileConfig& file : config.files) {
    auto created = machine->files().Create(file.path);
    created->data = file.data;
    created->readOnly = file.readOnly;
  }

  BuildVolumes(*machine, config);

  std::vector<CageBoard> cages;
  for (const CageWiring& wiring : config.cages) cages.emplace_back(wiring);
  machine->i2c() = I2cBus(std::move(cages));

  for (const FaultRule& rule : config.faults) machine->faults().Add(rule);
  machine->SetChanges(config.changes);
  return machine;
}

}  // namespace lumbrel::sim
