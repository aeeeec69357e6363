// Machine files: the SCSI devices on a bus.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/scsi/device_config.h"
#include "sim/scsi/port_family.h"

namespace lumbrel::sim {

struct PortConfig;

// One entry of a bus's "devices"; throws MachineFormatError.
DeviceConfig ParseDevice(const nlohmann::json& json, const std::string& path);

// The checks that span devices: targets unique on a bus, class-driver
// device numbers unique in the machine, no class device for drives that sit
// behind an array controller. `path` is the path of the ports array.
void CheckDevices(const std::vector<PortConfig>& ports, const std::string& path);

}  // namespace lumbrel::sim
