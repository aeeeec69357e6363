// A freshly loaded library on a fresh simulated machine, for every test.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "sim/machine_description.h"
#include "sim/simulator.h"

namespace lumbrel::test {

// What a failing platform may leave behind after the library did all it
// could: the object of a refused release, or one that the library has no
// entry point to release.
struct Leftovers {
  bool i2cOpen = false;
  std::uint32_t arrayLibraryLoads = 0;
  std::size_t arrayAdapters = 0;
};

class ModuleTest : public ::testing::Test {
 protected:
  // Builds the machine that `machineJson` describes, makes it current and
  // loads the library on it. The trace is captured in memory.
  void Load(const std::string& machineJson);
  void Load(const sim::MachineConfig& config);
  // Builds and installs the machine without loading the library.
  void Install(const std::string& machineJson);
  void Install(const sim::MachineConfig& config);
  void LoadModule();
  void UnloadModule();

  sim::Machine& machine() { return sim::CurrentMachine(); }
  // The trace records of one call, in order.
  std::vector<nlohmann::ordered_json> Calls(const std::string& call) const;

  // Checks that nothing stayed open, loaded or allocated beyond `allowed`;
  // for an unloaded library.
  void ExpectNothingLeftOpen(Leftovers allowed = {});

  // Unloads the library and checks that nothing stayed open or allocated.
  void TearDown() override;
};

}  // namespace lumbrel::test
