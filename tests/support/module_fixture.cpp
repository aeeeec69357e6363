#include "support/module_fixture.h"

#include "api/host_loader.h"

namespace lumbrel::test {

void ModuleTest::Install(const sim::MachineConfig& config) {
  host::UnloadModule();
  sim::InstallMachine(sim::BuildMachine(config));
  machine().trace().Capture(true);
}

void ModuleTest::Install(const std::string& machineJson) { Install(sim::ParseMachine(nlohmann::json::parse(machineJson))); }

void ModuleTest::LoadModule() { host::LoadModule(); }

void ModuleTest::UnloadModule() { host::UnloadModule(); }

void ModuleTest::Load(const sim::MachineConfig& config) {
  Install(config);
  LoadModule();
}

void ModuleTest::Load(const std::string& machineJson) {
  Install(machineJson);
  LoadModule();
}

std::vector<nlohmann::ordered_json> ModuleTest::Calls(const std::string& call) const {
  std::vector<nlohmann::ordered_json> calls;
  for (auto& record : sim::CurrentMachine().trace().Records()) {
    if (record["call"] == call) calls.push_back(std::move(record));
  }
  return calls;
}

void ModuleTest::TearDown() {
  host::UnloadModule();
  ExpectNothingLeftOpen();
}

void ModuleTest::ExpectNothingLeftOpen(Leftovers allowed) {
  machine().WaitForThreads();
  EXPECT_EQ(machine().OpenHandleCount(), 0u) << "a kernel handle stayed open";
  EXPECT_EQ(machine().OpenKeyCount(), 0u) << "a registry key stayed open";
  EXPECT_EQ(machine().LiveAllocationCount(), 0u) << "library memory was not released";
  EXPECT_TRUE(!machine().i2c().isOpen() || allowed.i2cOpen) << "the I2C bus stayed open";
  EXPECT_LE(machine().arrayLibrary().LoadedCount(), allowed.arrayLibraryLoads)
      << "the array management library stayed loaded";
  EXPECT_LE(machine().arrayLibrary().OpenAdapterCount(), allowed.arrayAdapters) << "an array controller stayed open";
}

}  // namespace lumbrel::test
