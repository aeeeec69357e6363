// The "volumes" and "diskInformation" keys of a machine file.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/volume_config.h"

namespace lumbrel::sim {

// Reads a "volumes" array (null: none); throws MachineFormatError, naming
// the key path under `path`.
std::vector<VolumeConfig> ParseVolumes(const nlohmann::json* volumes, const std::string& path);
// Reads an array of physical drive numbers (a volume's "extents").
std::vector<std::uint32_t> ParseDiskNumbers(const nlohmann::json& array, const std::string& path);
// Reads "diskInformation": absent, a hex string, or null.
DiskInformationConfig ParseDiskInformation(const nlohmann::json* value, bool present, const std::string& path);

}  // namespace lumbrel::sim
