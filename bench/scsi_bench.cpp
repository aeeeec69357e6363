// The cost of the SCSI layer against the simulated server: one command
// through each adapter variant, the same request sent without the library
// (what the simulated platform alone costs), a full rescan of one adapter
// and CountAdapterUnits on the largest machine the library handles.
#include <cstring>
#include <string>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "api/host_loader.h"
#include "api/module_state.h"
#include "discovery/driver_table.h"
#include "lumbrel.h"
#include "scsi/adapter_list.h"
#include "scsi/scsi_adapter.h"
#include "sim/machine_description.h"
#include "sim/simulator.h"

namespace {

using lumbrel::ScsiAdapter;

const std::uint8_t kTestUnitReady[6] = {};
const std::uint8_t kRead4K[10] = {0x28, 0, 0, 0, 0, 0x40, 0, 0, 8, 0};

void LoadMachine(const nlohmann::json& description) {
  lumbrel::host::UnloadModule();
  lumbrel::sim::InstallMachine(lumbrel::sim::BuildMachine(lumbrel::sim::ParseMachine(description)));
  lumbrel::host::LoadModule();
}

void UnloadMachine() {
  lumbrel::host::UnloadModule();
  lumbrel::sim::InstallMachine(std::make_unique<lumbrel::sim::Machine>());
}

// One port of each family, a disk at target 1 of bus 0 (claimed by the disk
// class driver where Windows sees it) and one unclaimed disk at target 2.
nlohmann::json EveryFamily() {
  nlohmann::json ports = nlohmann::json::array();
  unsigned physicalDrive = 0;
  for (const char* driver : {"aic78xx", "HHBA5100", "mraidnt", "dac960nt", "qzvscsi", "atapi"}) {
    const bool behindController = std::string(driver) == "mraidnt" || std::string(driver) == "dac960nt" ||
                                  std::string(driver) == "qzvscsi";
    nlohmann::json claimed = nlohmann::json::object({{"target", 1u}});
    if (!behindController) claimed["physicalDrive"] = physicalDrive++;
    const nlohmann::json devices = nlohmann::json::array({claimed, nlohmann::json::object({{"target", 2u}})});
    nlohmann::json port = nlohmann::json::object({{"driver", driver}});
    port["buses"] = nlohmann::json::array({nlohmann::json::object({{"devices", devices}})});
    ports.push_back(port);
  }
  return {{"ports", ports}};
}

// The largest machine: 10 ports of one driver, 8 buses each, a disk at
// every target but the adapter's own id 7.
nlohmann::json LargestMachine(const char* driver) {
  nlohmann::json bus = {{"devices", nlohmann::json::array()}};
  for (unsigned target = 0; target < 16; ++target) {
    if (target != 7) bus["devices"].push_back(nlohmann::json::object({{"target", target}}));
  }
  nlohmann::json port = {{"driver", driver}, {"buses", nlohmann::json::array()}};
  for (int b = 0; b < 8; ++b) port["buses"].push_back(bus);
  return {{"ports", nlohmann::json::array({port, port, port, port, port, port, port, port, port, port})}};
}

// One command to one drive through the adapter of `port`.
void Command(benchmark::State& state, std::uint32_t port, std::uint8_t target, bool read) {
  LoadMachine(EveryFamily());
  lumbrel::Module().adapterList.BuildAdapterList();
  ScsiAdapter* adapter = lumbrel::Module().adapterList.OpenAdapter(lumbrel::AdapterClassBase, port);
  if (adapter == nullptr) {
    state.SkipWithError("the adapter does not open");
    return;
  }
  for (auto _ : state) {
    const std::uint32_t result = read ? adapter->ExecuteIn(0, target, kRead4K, sizeof kRead4K)
                                      : adapter->ExecuteIn(0, target, kTestUnitReady, sizeof kTestUnitReady);
    if (result != 0) state.SkipWithError("the command failed");
    benchmark::DoNotOptimize(result);
  }
  UnloadMachine();
}
BENCHMARK_CAPTURE(Command, ScsiPort_ClassDevice_TestUnitReady, 0, 1, false);
BENCHMARK_CAPTURE(Command, ScsiPort_PortDevice_TestUnitReady, 0, 2, false);
BENCHMARK_CAPTURE(Command, ScsiPort_ClassDevice_Read4K, 0, 1, true);
BENCHMARK_CAPTURE(Command, Hhba5100_TestUnitReady, 1, 2, false);
BENCHMARK_CAPTURE(Command, MegaRaid_TestUnitReady, 2, 1, false);
BENCHMARK_CAPTURE(Command, MegaRaid_Read4K, 2, 1, true);
BENCHMARK_CAPTURE(Command, Dac960_TestUnitReady, 3, 1, false);
BENCHMARK_CAPTURE(Command, Dac960_Read4K, 3, 1, true);
BENCHMARK_CAPTURE(Command, Qzv_TestUnitReady, 4, 1, false);
BENCHMARK_CAPTURE(Command, Qzv_Read4K, 4, 1, true);
BENCHMARK_CAPTURE(Command, Atapi_TestUnitReady, 5, 1, false);

// What ScsiPortAdapter's TEST UNIT READY to an unclaimed disk costs the
// simulated platform alone: open the port device, one SCSI_PASS_THROUGH,
// close. The difference to ScsiPort_PortDevice_TestUnitReady is the
// library's own work.
void PlatformOnly_PortDevice_TestUnitReady(benchmark::State& state) {
  LoadMachine(EveryFamily());
  std::uint8_t block[160] = {44, 0, 0, 0, 2, 0, 6, 32, 0};
  block[16] = 0x88;  // TimeOutValue 5000
  block[17] = 0x13;
  block[20] = 160;  // DataBufferOffset
  block[24] = 44;   // SenseInfoOffset
  for (auto _ : state) {
    HANDLE device = CreateFileA("\\\\.\\SCSI0:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(device, 0x0004D004, block, 44, block, 160, &returned, nullptr);
    CloseHandle(device);
    if (!ok || block[2] != 0) state.SkipWithError("the request failed");
  }
  UnloadMachine();
}
BENCHMARK(PlatformOnly_PortDevice_TestUnitReady);

// A full rescan of one adapter of the largest machine: 8 buses x 15 INQUIRYs
// (the scan skips the adapter's own id 7).
void RescanOneAdapter(benchmark::State& state, const char* driver) {
  LoadMachine(LargestMachine(driver));
  lumbrel::Module().adapterList.BuildAdapterList();
  ScsiAdapter* adapter = lumbrel::Module().adapterList.OpenAdapter(lumbrel::AdapterClassBase, 0);
  if (adapter == nullptr) {
    state.SkipWithError("the adapter does not open");
    return;
  }
  for (auto _ : state) {
    if (adapter->RescanUnits(nullptr) != 0) state.SkipWithError("the scan failed");
  }
  state.counters["inquiries"] = benchmark::Counter(8.0 * 15, benchmark::Counter::kIsIterationInvariantRate);
  UnloadMachine();
}
BENCHMARK_CAPTURE(RescanOneAdapter, ScsiPort, "aic78xx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RescanOneAdapter, MegaRaid, "mraidnt")->Unit(benchmark::kMillisecond);

// CountAdapterUnits on the largest machine: every adapter opened and
// scanned, 10 x 8 x 15 disks counted.
void CountUnitsOfLargestMachine(benchmark::State& state, const char* driver) {
  LoadMachine(LargestMachine(driver));
  for (auto _ : state) {
    std::uint32_t units = 0;
    if (CountAdapterUnits(&units, nullptr) != 0 || units != 10 * 8 * 15) state.SkipWithError("wrong count");
  }
  UnloadMachine();
}
BENCHMARK_CAPTURE(CountUnitsOfLargestMachine, ScsiPort, "aic78xx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CountUnitsOfLargestMachine, MegaRaid, "mraidnt")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
