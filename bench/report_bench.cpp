// The cost of the exports that walk the whole server, on the largest
// configuration the library handles (10 ports x 8 buses x 15 disks, arrays
// on the controller ports, letters on 19 volumes),
// with the device requests they send; and a flash job's cost per pass.
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "api/host_loader.h"
#include "lumbrel.h"
#include "sim/machine_description.h"
#include "sim/simulator.h"

namespace {

namespace sim = lumbrel::sim;
using nlohmann::json;

constexpr unsigned kPorts = 10;
constexpr unsigned kBuses = 8;
constexpr unsigned kDisksPerBus = 15;  // every target but the adapter's own id 7
constexpr unsigned kDisks = kPorts * kBuses * kDisksPerBus;

json Bus() {
  json devices = json::array();
  for (unsigned target = 0; target < 16; ++target) {
    if (target != 7) devices.push_back({{"target", target}, {"vendor", "SEAGATE"}, {"product", "ST39173LW"}});
  }
  return {{"devices", devices}};
}

// Ports 0-3 generic SCSI, each with its first disk a disk device; ports
// 4-6 MegaRAID, each with three RAID 5 logical drives of eight disks; ports
// 7-9 HHBA5100, each with its first disk a disk device and two RAID 1
// logical drives of two spans of two disks. That is 22 disk devices, of the
// 24 that the library's address search covers. A volume lies on every
// generic disk device and every logical drive: D: to V:.
json LargestMachine() {
  json machine = {{"ports", json::array()}, {"volumes", json::array()}};
  unsigned nextDrive = 0;
  char nextLetter = 'D';
  auto addVolume = [&](unsigned drive) {
    if (nextLetter <= 'Z') machine["volumes"].push_back({{"letter", std::string(1, nextLetter++)}, {"extents", {drive}}});
  };
  for (unsigned p = 0; p < kPorts; ++p) {
    const char* driver = p < 4 ? "aic78xx" : p < 7 ? "mraidnt" : "HHBA5100";
    json port = {{"driver", driver}, {"buses", json::array()}};
    for (unsigned b = 0; b < kBuses; ++b) port["buses"].push_back(Bus());
    if (p < 4 || p >= 7) {
      port["buses"][0]["devices"][0]["physicalDrive"] = nextDrive;
      if (p < 4) addVolume(nextDrive);
      ++nextDrive;
    }
    port["logicalDrives"] = json::array();
    for (unsigned l = 0; p >= 4 && l < (p < 7 ? 3u : 2u); ++l) {
      json spans = json::array();
      if (p < 7) {
        json drives = json::array();
        for (unsigned t = 0; t < 8; ++t) drives.push_back({{"bus", l}, {"target", t < 7 ? t : 8}, {"blocks", 1u << 24}});
        spans.push_back({{"drives", drives}});
      } else {
        for (unsigned s = 0; s < 2; ++s) {
          spans.push_back({{"drives", {{{"bus", l + 1}, {"target", 2 * s}, {"blocks", 1u << 24}},
                                       {{"bus", l + 1}, {"target", 2 * s + 1}, {"blocks", 1u << 24}}}}});
        }
      }
      port["logicalDrives"].push_back(
          {{"level", p < 7 ? 5u : 1u}, {"state", p < 7 ? 2u : 255u}, {"physicalDrive", nextDrive}, {"spans", spans}});
      addVolume(nextDrive++);
    }
    if (p < 4) port.erase("logicalDrives");
    machine["ports"].push_back(port);
  }
  return machine;
}

// The requests that the sequences of the exports require on this machine.
// Opening a port-device adapter (generic SCSI, HHBA5100) rescans its buses,
// one INQUIRY per id but the adapter's own (the HHBA5100 skips none), and
// the report opens each such adapter that it finds closed, which is all of
// them. Identifying a drive is one INQUIRY. The first report also rebuilds
// the letter map (each volume's extents, then the SCSI address of the disk
// device they name) and refreshes each array controller's view (MegaRAID:
// enquiry and configuration; HHBA5100: version and configuration).
constexpr unsigned kGenericPorts = 4, kMegaRaidPorts = 3, kHhbaPorts = 3, kVolumes = 19;
constexpr unsigned kRescan = kGenericPorts * kBuses * 15 + kHhbaPorts * kBuses * 16;
constexpr unsigned kRecountRequired = kRescan + kMegaRaidPorts * kBuses * 15;
constexpr unsigned kRepeatReportRequired = kRescan + kDisks;
constexpr unsigned kFirstReportRequired = kRepeatReportRequired + 2 * kVolumes + 2 * (kMegaRaidPorts + kHhbaPorts);

const sim::MachineConfig& LargestConfig() {
  static const sim::MachineConfig config = sim::ParseMachine(LargestMachine());
  return config;
}

void Install(const sim::MachineConfig& config) {
  lumbrel::host::UnloadModule();
  sim::InstallMachine(sim::BuildMachine(config));
}

void Uninstall() {
  lumbrel::host::UnloadModule();
  sim::InstallMachine(std::make_unique<sim::Machine>());
}

std::uint64_t DeviceRequests() { return sim::CurrentMachine().faults().CheckedCount("DeviceIoControl"); }

// What a management application does first: load the library, count the
// units (which builds the adapter list and scans every bus), then take the
// full report of every drive.
void FirstReportOfLargestMachine(benchmark::State& state) {
  std::vector<DiskConfigRecord> records(kDisks + 1);
  std::uint64_t requests = 0;
  std::uint32_t units = 0;
  std::uint32_t reported = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Install(LargestConfig());
    state.ResumeTiming();
    lumbrel::host::LoadModule();
    CountAdapterUnits(&units, nullptr);
    const std::uint64_t counted = DeviceRequests();
    GetAllDiskConfigInfo(records.data(), static_cast<std::uint32_t>(records.size()));
    state.PauseTiming();
    requests = DeviceRequests() - counted;
    reported = 0;
    while (reported < records.size() && records[reported].vendorProduct[0] != 0) ++reported;
    lumbrel::host::UnloadModule();
    state.ResumeTiming();
  }
  if (units != kDisks || reported != kDisks) state.SkipWithError("not every disk was counted and reported");
  if (requests != kFirstReportRequired) state.SkipWithError("the report sent other requests than it needs");
  state.counters["requests"] = static_cast<double>(requests);
  state.counters["required"] = kFirstReportRequired;
  Uninstall();
}
BENCHMARK(FirstReportOfLargestMachine)->Unit(benchmark::kMillisecond);

// The report again within the throttles' intervals: the RAID views and the
// letter map answer from what they hold; only the drives are asked.
void RepeatReportOfLargestMachine(benchmark::State& state) {
  Install(LargestConfig());
  lumbrel::host::LoadModule();
  CountAdapterUnits(nullptr, nullptr);
  std::vector<DiskConfigRecord> records(kDisks + 1);
  GetAllDiskConfigInfo(records.data(), static_cast<std::uint32_t>(records.size()));
  const std::uint64_t before = DeviceRequests();
  for (auto _ : state) {
    GetAllDiskConfigInfo(records.data(), static_cast<std::uint32_t>(records.size()));
  }
  const double requests = static_cast<double>(DeviceRequests() - before) / static_cast<double>(state.iterations());
  if (requests != kRepeatReportRequired) state.SkipWithError("the report sent other requests than it needs");
  state.counters["requests"] = requests;
  state.counters["required"] = kRepeatReportRequired;
  Uninstall();
}
BENCHMARK(RepeatReportOfLargestMachine)->Unit(benchmark::kMillisecond);

// CountAdapterUnits on a module that has built its list: every bus rescanned.
void RecountLargestMachine(benchmark::State& state) {
  Install(LargestConfig());
  lumbrel::host::LoadModule();
  CountAdapterUnits(nullptr, nullptr);
  const std::uint64_t before = DeviceRequests();
  for (auto _ : state) {
    std::uint32_t units = 0;
    CountAdapterUnits(&units, nullptr);
    if (units != kDisks) state.SkipWithError("wrong count");
  }
  const double requests = static_cast<double>(DeviceRequests() - before) / static_cast<double>(state.iterations());
  if (requests != kRecountRequired) state.SkipWithError("the count sent other requests than it needs");
  state.counters["requests"] = requests;
  state.counters["required"] = kRecountRequired;
  Uninstall();
}
BENCHMARK(RecountLargestMachine)->Unit(benchmark::kMillisecond);

enum class FlashTrace { None, Cut, Full };

// A flash job of one 30-second unit on one disk: 300 passes of a burst of
// READ(6)s and a 100 ms pause, on the job's worker thread with the virtual
// clock. Process CPU time, since the work is on the worker. Traced, it
// writes the trace to a file as `--trace` does (`Full`: with
// `--trace-data full`); `traceBytes` is that file's size.
void FlashJobOfOneUnit(benchmark::State& state, std::uint32_t driverIndex, FlashTrace traced) {
  const char* drivers[] = {"aic78xx", "mraidnt"};
  const json machine = {{"ports", {{{"driver", drivers[driverIndex]}, {"buses", {Bus()}}}}}};
  const sim::MachineConfig config = sim::ParseMachine(machine);
  const std::string traceFile = (std::filesystem::temp_directory_path() / "lumbrel_flash_bench.jsonl").string();
  std::uint64_t requests = 0;
  std::uintmax_t traceBytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Install(config);
    if (traced != FlashTrace::None) {
      sim::CurrentMachine().trace().KeepAllReturnedData(traced == FlashTrace::Full);
      sim::CurrentMachine().trace().WriteTo(traceFile);
    }
    lumbrel::host::LoadModule();
    CountAdapterUnits(nullptr, nullptr);
    const std::uint64_t before = DeviceRequests();
    state.ResumeTiming();
    if (FlashDriveActivityLight(LUMBREL_CLASS_BASE, 0, 0, 1, 1) != 0) state.SkipWithError("the job did not start");
    sim::CurrentMachine().WaitForThreads();
    state.PauseTiming();
    requests = DeviceRequests() - before;
    lumbrel::host::UnloadModule();
    if (traced != FlashTrace::None) traceBytes = std::filesystem::file_size(traceFile);
    state.ResumeTiming();
  }
  // Each pass reads the 96 blocks of the 48 KB buffer size as 24 READ(6)s of 4;
  // the start opens the adapter, and a generic SCSI adapter's open rescans
  // its bus (15 INQUIRYs).
  const std::uint64_t required = 300 * 24 + (driverIndex == 0 ? 15 : 0);
  if (requests != required) state.SkipWithError("the job sent other requests than it needs");
  state.counters["passes"] = 300;
  state.counters["requests"] = static_cast<double>(requests);
  state.counters["required"] = static_cast<double>(required);
  if (traced != FlashTrace::None) state.counters["traceBytes"] = static_cast<double>(traceBytes);
  Uninstall();
  std::filesystem::remove(traceFile);
}
#define LUMBREL_FLASH_UNIT(name, driverIndex, traced) \
  BENCHMARK_CAPTURE(FlashJobOfOneUnit, name, driverIndex, traced)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond)
LUMBREL_FLASH_UNIT(ScsiPort, 0, FlashTrace::None);
LUMBREL_FLASH_UNIT(MegaRaid, 1, FlashTrace::None);
LUMBREL_FLASH_UNIT(ScsiPort_Traced, 0, FlashTrace::Cut);
LUMBREL_FLASH_UNIT(ScsiPort_TracedFull, 0, FlashTrace::Full);

}  // namespace

BENCHMARK_MAIN();
