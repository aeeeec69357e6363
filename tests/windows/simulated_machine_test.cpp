// The real LUMBREL.dll on a simulated machine: LUMBRELSIM.dll loads it,
// routes its device calls to the machine that LUMBREL_MACHINE names, and
// puts the machine's registry keys in place of the prefix's while it is
// loaded.
#include <windows.h>

#include <string>

#include "check.h"
#include "scsi_ports.h"
#include "session.h"

namespace {

// LUMBRELSIM.dll, loaded at run time as lumbrel-diag.exe loads it.
class Simulator {
 public:
  Simulator() : module_(LoadLibraryA("LUMBRELSIM.dll")) {
    load_ = Find<HMODULE (*)(const char*)>("LumbrelSimLoadLibrary");
    free_ = Find<BOOL (*)(HMODULE)>("LumbrelSimFreeLibrary");
    problem_ = Find<const char* (*)()>("LumbrelSimProblem");
  }
  ~Simulator() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  bool ready() const { return load_ != nullptr && free_ != nullptr && problem_ != nullptr; }
  HMODULE Load() const { return load_("LUMBREL.dll"); }
  bool Free(HMODULE module) const { return free_(module) != FALSE; }
  std::string Problem() const { return problem_(); }

 private:
  template <typename Function>
  Function Find(const char* name) {
    return module_ == nullptr ? nullptr
                              : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

  HMODULE module_;
  HMODULE (*load_)(const char*) = nullptr;
  BOOL (*free_)(HMODULE) = nullptr;
  const char* (*problem_)() = nullptr;
};

bool PortKeyExists(unsigned number) {
  HKEY key = nullptr;
  const std::string path = "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port " + std::to_string(number);
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

}  // namespace

WINE_TEST(simulated, drives_answer_through_the_routed_imports) {
  REQUIRE_TRUE(!wine_tests::IsLoaded("LUMBREL.dll"));
  wine_tests::RemoveScsiPorts();
  REQUIRE_TRUE(wine_tests::AddScsiPort(5, "lumbrelx", 1));  // the prefix's own, replaced meanwhile
  wine_tests::MachineFile machine(R"({"ports": [{"driver": "aic78xx", "buses": [{"devices": [
      {"target": 3, "type": 0, "vendor": "IBM", "product": "DDRS-34560D", "revision": "S80J"}]}]}]})");
  Simulator simulator;
  REQUIRE_TRUE(simulator.ready());
  HMODULE module = simulator.Load();
  REQUIRE_TRUE(module != nullptr);
  EXPECT_TRUE(PortKeyExists(0));
  EXPECT_TRUE(!PortKeyExists(5));

  LumbrelExports lumbrel{};
  LumbrelResolveExports(module, &lumbrel);
  REQUIRE_TRUE(lumbrel.CountAdapterUnits != nullptr);
  std::uint32_t units = 77;
  std::uint32_t adapters = 77;
  EXPECT_EQ(lumbrel.CountAdapterUnits(&units, &adapters), 0u);
  EXPECT_EQ(adapters, 1u);
  EXPECT_EQ(units, 1u);  // the simulated drive answered INQUIRY through the real DLL

  EXPECT_TRUE(simulator.Free(module));
  EXPECT_TRUE(!wine_tests::IsLoaded("LUMBREL.dll"));
  EXPECT_TRUE(!PortKeyExists(0));  // the machine's keys are taken out again
}

WINE_TEST(simulated, an_unreadable_machine_file_is_named) {
  SetEnvironmentVariableA("LUMBREL_MACHINE", "Z:\\nonexistent\\machine.json");
  Simulator simulator;
  REQUIRE_TRUE(simulator.ready());
  EXPECT_TRUE(simulator.Load() == nullptr);
  EXPECT_TRUE(simulator.Problem().find("Z:\\nonexistent\\machine.json") != std::string::npos);
  EXPECT_TRUE(!wine_tests::IsLoaded("LUMBREL.dll"));
  SetEnvironmentVariableA("LUMBREL_MACHINE", nullptr);
}
