// The current simulated machine: the one that the host build's Win32 subset,
// registry, drivers and I2C library act on.
#pragma once

#include <memory>

#include "sim/machine.h"

namespace lumbrel::sim {

// The current machine; an empty machine (no ports, no cages) when none was
// installed.
Machine& CurrentMachine();

// Where the current machine comes from when none was installed (by
// default an empty machine): the Windows build reads the machine file that
// the environment names.
void SetMachineSource(std::unique_ptr<Machine> (*source)());

// Makes `machine` current. The previous one is destroyed after its threads
// have returned.
void InstallMachine(std::unique_ptr<Machine> machine);

}  // namespace lumbrel::sim
