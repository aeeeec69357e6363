// The "faults" of a machine file: rules that make chosen calls fail.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/faults.h"

namespace lumbrel::sim {

// Reads a "faults" array (null: no rules); throws MachineFormatError for a
// rule that names an unknown call or attribute, naming its key path.
std::vector<FaultRule> ParseFaults(const nlohmann::json* faults, const std::string& path);

}  // namespace lumbrel::sim
