// The current simulated machine: the one that the host build's Win32 subset,
// registry, drivers and I2C library act on.
#pragma once

#include <memory>

#include "sim/machine.h"

namespace lumbrel::sim {

// The current machine; an empty machine (no ports, no cages) when none was
// installed.
Machine& CurrentMachine();

// Makes `machine` current. The previous one is destroyed after its threads
// have returned.
void InstallMachine(std::unique_ptr<Machine> machine);

}  // namespace lumbrel::sim
