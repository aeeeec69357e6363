// The simulated hardware as an operator standing in front of it would see
// it: cages with their bays, drives and indicators.
#pragma once

#include <nlohmann/json.hpp>

#include "sim/machine.h"

namespace lumbrel::diag {

nlohmann::ordered_json DescribeMachine(sim::Machine& machine);

}  // namespace lumbrel::diag
