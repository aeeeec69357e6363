// The "cages" of a machine file: the wiring of each hot-swap cage board.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/cage_board.h"

namespace lumbrel::sim {

// Reads a "cages" array (null: no cages); throws MachineFormatError, naming
// the key path under `path`.
std::vector<CageWiring> ParseCages(const nlohmann::json* cages, const std::string& path);

}  // namespace lumbrel::sim
