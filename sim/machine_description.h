// A machine description: what a JSON machine file says, checked, before the
// simulated server is built from it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/array_library.h"
#include "sim/cage_board.h"
#include "sim/faults.h"
#include "sim/machine.h"
#include "sim/machine_format_error.h"
#include "sim/scsi/device_config.h"
#include "sim/scsi/logical_drive_config.h"
#include "sim/scsi/port_family.h"
#include "sim/volume_config.h"

namespace lumbrel::sim {

struct ServiceConfig {
  std::optional<std::string> imagePath;    // the ImagePath value; absent: no value
  std::optional<std::string> fileVersion;  // a driver image with this FileVersion exists
};

struct BusConfig {
  std::vector<DeviceConfig> devices;
};

struct PortConfig {
  std::uint32_t number = 0;           // N of "Scsi Port N"
  std::optional<std::string> driver;  // the Driver value; absent: no value
  std::vector<BusConfig> buses;
  PortFamily family = PortFamily::ScsiPort;  // the driver model that answers; default: the one the driver stands for
  bool present = true;                       // false: the driver is not loaded, the port's devices do not exist
  std::optional<ServiceConfig> service;  // absent: no service key
  // Array controllers: MegaRAID and HHBA5100 logical drives, or the maker's containers.
  std::vector<LogicalDriveConfig> logicalDrives;
  std::vector<ContainerConfig> containers;
  ArrayReplyOverrides replies;
};

struct FileConfig {
  std::string path;
  std::vector<std::uint8_t> data;
  bool readOnly = false;
};

struct MachineConfig {
  MachineSettings settings;
  std::vector<PortConfig> ports;
  std::vector<CageWiring> cages;
  std::vector<FaultRule> faults;
  std::vector<FileConfig> files;
  std::vector<VolumeConfig> volumes;
  DiskInformationConfig diskInformation;
  ArrayLibraryConfig arrayLibrary;  // absent from the file: not installed
  std::vector<MachineChange> changes;
};

// Checks a JSON machine description; throws MachineFormatError.
MachineConfig ParseMachine(const nlohmann::json& document);
// Reads and checks a machine file.
MachineConfig ReadMachineFile(const std::string& path);
// The embedded default machine.
MachineConfig DefaultMachine();
const char* DefaultMachineJson();

// Builds the simulated server that a description describes.
std::unique_ptr<Machine> BuildMachine(const MachineConfig& config);

// Where Windows would find a service's driver image: the ImagePath resolved
// against the Windows directory, or the default location of the service.
std::string ResolveDriverImagePath(const MachineSettings& settings, const std::string& service,
                                   const std::optional<std::string>& imagePath);

}  // namespace lumbrel::sim
