// Loading and unloading the library: what is built at load, and that a new
// load starts from nothing.
#include "api/module_state.h"
#include "lumbrel.h"
#include "support/module_fixture.h"

namespace lumbrel::test {
namespace {

using ModuleLifecycleTest = ModuleTest;

TEST_F(ModuleLifecycleTest, LoadReadsTheRegistryAndNothingElse) {
  Install(R"({"ports":[{"driver":"aic78xx","buses":[{}]}],"cages":[{"position":0}]})");
  LoadModule();
  for (const auto& record : machine().trace().Records()) {
    const std::string call = record["call"];
    EXPECT_TRUE(call.rfind("Reg", 0) == 0) << call << " called during the load";
  }
  EXPECT_EQ(machine().OpenKeyCount(), 0u);
}

TEST_F(ModuleLifecycleTest, UnloadOnlyReleasesWhatTheAdaptersHold) {
  Load(R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1}]}]},{"driver":"qzvscsi","buses":[{}]}],
           "cages":[{"position":0}]})");
  ASSERT_EQ(InitializeDiags(nullptr, nullptr), 0u);
  std::uint32_t adapters = 0;
  ASSERT_EQ(CountAdapterUnits(nullptr, &adapters), 0u);
  ASSERT_EQ(adapters, 2u);
  machine().trace().ClearRecords();
  UnloadModule();
  // The controller keeps its driver's device open until the adapter list
  // goes. Nothing waits: no worker can be left when the module unloads.
  const auto records = machine().trace().Records();
  ASSERT_EQ(records.size(), 1u) << "neither the bus nor the registry is touched at unload";
  EXPECT_EQ(records[0]["call"], "CloseHandle");
  EXPECT_EQ(records[0]["name"], "\\\\.\\QZV0");
}

TEST_F(ModuleLifecycleTest, ReloadStartsFromFreshState) {
  Load(R"({"ports":[{"driver":"aic78xx"}],"cages":[{"position":0,"strap4":true,"strap5":true}]})");
  ASSERT_EQ(InitializeDiags(nullptr, nullptr), 0u);
  ASSERT_EQ(SFStartFlashPower(1, 0x27), 0u);
  SetActivityCallback([](std::uint32_t) {});

  // The same machine, the module loaded again: the cages must be found anew.
  UnloadModule();
  LoadModule();
  EXPECT_EQ(SFStopFlashPower(1, 0x27), 24u);
  EXPECT_EQ(Module().callbacks.activity.load(), nullptr);

  // A new machine: the port table is read from its registry.
  Load(R"({"ports":[{"driver":"qzvscsi"},{"driver":"atapi"}]})");
  EXPECT_EQ(Module().portTable.PortCount(), 2u);
  EXPECT_EQ(Module().portTable.GetPortEntry(0)->classCode, AdapterClassQzv);
}

TEST_F(ModuleLifecycleTest, CallbackSlotsKeepTheirValueUntilSetAgain) {
  Load(R"({})");
  auto first = [](std::uint32_t) {};
  auto second = [](std::uint32_t) {};
  SetFormatCallback(first);
  SetFirmwareCallback(second);
  EXPECT_EQ(Module().callbacks.format.load(), static_cast<FormatCallback>(first));
  EXPECT_EQ(Module().callbacks.firmware.load(), static_cast<FirmwareCallback>(second));
  SetFormatCallback(nullptr);
  EXPECT_EQ(Module().callbacks.format.load(), nullptr);
  EXPECT_EQ(Module().callbacks.firmware.load(), static_cast<FirmwareCallback>(second));
}

}  // namespace
}  // namespace lumbrel::test
