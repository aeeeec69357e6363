#include "sim/scsi/device_namespace.h"

#include <algorithm>
#include <cstdio>

#include "platform/win32.h"
#include "sim/machine.h"
#include "sim/machine_description.h"
#include "sim/scsi/class_device.h"
#include "sim/scsi/dac960_controller.h"
#include "sim/scsi/hhba5100_controller.h"
#include "sim/scsi/logical_unit_device.h"
#include "sim/scsi/megaraid_controller.h"
#include "sim/scsi/port_device.h"
#include "sim/scsi/qzv_controller.h"
#include "sim/scsi/scsi_world.h"

namespace lumbrel::sim {
namespace {

std::string Numbered(const char* prefix, std::uint32_t number, const char* suffix = "") {
  return prefix + std::to_string(number) + suffix;
}

const char* PeripheralTypeName(std::uint8_t type) {
  static const char* const kNames[] = {
      "DiskPeripheral", "TapePeripheral",        "PrinterPeripheral",     "ProcessorPeripheral",
      "WormPeripheral", "CdRomPeripheral",       "ScannerPeripheral",     "OpticalDiskPeripheral",
      "MediumChangerPeripheral", "CommunicationsPeripheral"};
  return type < std::size(kNames) ? kNames[type] : "OtherPeripheral";
}

// "Scsi Bus M\Target Id T\Logical Unit Id 0" with the unit's identifier
// (INQUIRY bytes 8-35) and type, as Windows records the units it found.
void RecordUnit(Machine& machine, const ScsiDrive& drive) {
  const ScsiAddress& address = drive.address();
  char path[128];
  std::snprintf(path, sizeof path, "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port %u\\Scsi Bus %u\\Target Id %u\\Logical Unit Id 0",
                static_cast<unsigned>(address.port), static_cast<unsigned>(address.bus),
                static_cast<unsigned>(address.target));
  RegistryKey& unit = machine.registry().localMachine().Create(path);
  const auto& inquiry = drive.inquiryData();
  std::string identifier;
  for (std::size_t i = 8; i < 36 && i < inquiry.size(); ++i) identifier.push_back(static_cast<char>(inquiry[i]));
  unit.SetString("Identifier", identifier, REG_SZ);
  unit.SetString("Type", PeripheralTypeName(drive.peripheralType()), REG_SZ);
}

// The controller of the port's driver family.
std::shared_ptr<ScsiPortController> MakeController(std::shared_ptr<ScsiPort> port, const Machine& machine,
                                                   const PortConfig& config) {
  switch (port->family()) {
    case PortFamily::ScsiPort:
    case PortFamily::Ide: break;
    case PortFamily::Hhba5100:
      return std::make_shared<Hhba5100Controller>(std::move(port), machine, config.replies);
    case PortFamily::MegaRaid:
      return std::make_shared<MegaRaidController>(std::move(port), machine, config.replies);
    case PortFamily::Dac960: return std::make_shared<Dac960Controller>(std::move(port), machine);
    case PortFamily::Qzv: return std::make_shared<QzvController>(std::move(port), machine);
  }
  return std::make_shared<ScsiPortController>(std::move(port), machine);
}

}  // namespace

void BuildScsiDevices(Machine& machine, const std::vector<PortConfig>& ports) {
  // The maker's controllers are numbered in port order, loaded or not.
  std::vector<const PortConfig*> byNumber;
  for (const PortConfig& port : ports) byNumber.push_back(&port);
  std::sort(byNumber.begin(), byNumber.end(), [](const PortConfig* a, const PortConfig* b) { return a->number < b->number; });
  std::uint32_t controllers = 0;

  for (const PortConfig* config : byNumber) {
    const auto port = machine.scsi().AddPort(config->number, config->family, config->present,
                                             static_cast<std::uint32_t>(config->buses.size()));
    const std::uint32_t controller = config->family == PortFamily::Qzv ? controllers++ : 0;
    port->SetLogicalDrives(config->logicalDrives);
    for (std::uint32_t bus = 0; bus < config->buses.size(); ++bus) {
      for (const DeviceConfig& device : config->buses[bus].devices) port->AddDrive(bus, device);
    }
    if (!config->present) continue;

    const auto driver = MakeController(port, machine, *config);
    machine.AddDevice(Numbered("SCSI", config->number, ":"), std::make_shared<PortDevice>(driver));
    if (config->family == PortFamily::Qzv) {
      machine.AddDevice(Numbered("QZV", controller), std::make_shared<ControllerDevice>(driver));
      machine.arrayLibrary().AddController(controller, config->number, config->containers,
                                           config->replies.configurationId);
      // The disk class driver claims containers at bus 5, target = the container number.
      for (const ContainerConfig& container : config->containers) {
        if (!container.physicalDrive) continue;
        const HostAddress address{static_cast<std::uint8_t>(config->number), 5,
                                  static_cast<std::uint8_t>(container.number)};
        machine.AddDevice(Numbered("PhysicalDrive", *container.physicalDrive),
                          std::make_shared<LogicalUnitDevice>(address));
      }
    }
    for (const ScsiDrive* drive : port->Drives()) {
      const DeviceConfig& device = drive->config();
      if (!DrivesBehindController(config->family) || device.claimed()) RecordUnit(machine, *drive);
      if (device.physicalDrive) {
        machine.AddDevice(Numbered("PhysicalDrive", *device.physicalDrive), std::make_shared<ClassDevice>(driver, *drive));
      }
      if (device.scanner) {
        machine.AddDevice(Numbered("Scanner", *device.scanner), std::make_shared<ClassDevice>(driver, *drive));
      }
      if (device.cdRom) machine.AddDevice(Numbered("CdRom", *device.cdRom), std::make_shared<ClassDevice>(driver, *drive));
    }
    // The disk devices of logical drives, at bus 0 and the drive's number.
    for (std::size_t i = 0; i < config->logicalDrives.size(); ++i) {
      if (const auto& number = config->logicalDrives[i].physicalDrive) {
        const HostAddress address{static_cast<std::uint8_t>(config->number), 0, static_cast<std::uint8_t>(i)};
        machine.AddDevice(Numbered("PhysicalDrive", *number), std::make_shared<LogicalUnitDevice>(address));
      }
    }
  }
}

}  // namespace lumbrel::sim
