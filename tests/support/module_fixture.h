// A freshly loaded library on a fresh simulated machine, for every test.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "sim/machine_description.h"
#include "sim/simulator.h"

namespace lumbrel::test {

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

  // Unloads the library and checks that nothing stayed open or allocated.
  void TearDown() override;
};

}  // namespace lumbrel::test
