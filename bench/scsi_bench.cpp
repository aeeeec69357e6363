// The cost of the SCSI layer against the simulated server: one command
// through each adapter variant beside the same platform calls sent without
// the library (what the simulated platform and device alone cost),
// IdentifyDrive, a full rescan of one adapter and CountAdapterUnits on the
// largest machine the library handles.
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "api/host_loader.h"
#include "api/module_state.h"
#include "discovery/driver_table.h"
#include "lumbrel.h"
#include "scsi/adapter_list.h"
#include "scsi/dac960_direct_cdb.h"
#include "scsi/megaraid_direct_cdb.h"
#include "scsi/scsi_pass_through.h"
#include "scsi/scsi_request_block.h"
#include "scsi/scsi_adapter.h"
#include "sim/machine_description.h"
#include "sim/simulator.h"
#include "sim/text_util.h"

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

ScsiAdapter* OpenAdapterOf(benchmark::State& state, std::uint32_t port) {
  LoadMachine(EveryFamily());
  lumbrel::Module().adapterList.BuildAdapterList();
  ScsiAdapter* adapter = lumbrel::Module().adapterList.OpenAdapter(lumbrel::AdapterClassBase, port);
  if (adapter == nullptr) state.SkipWithError("the adapter does not open");
  return adapter;
}

std::uint32_t RunCommand(ScsiAdapter& adapter, std::uint8_t target, bool read) {
  return read ? adapter.ExecuteIn(0, target, kRead4K, sizeof kRead4K)
              : adapter.ExecuteIn(0, target, kTestUnitReady, sizeof kTestUnitReady);
}

// One command to one drive through the adapter of `port`.
void Command(benchmark::State& state, std::uint32_t port, std::uint8_t target, bool read) {
  ScsiAdapter* adapter = OpenAdapterOf(state, port);
  if (adapter == nullptr) return;
  for (auto _ : state) {
    const std::uint32_t result = RunCommand(*adapter, target, read);
    if (result != 0) state.SkipWithError("the command failed");
    benchmark::DoNotOptimize(result);
  }
  UnloadMachine();
}

// The platform calls of one command as the library made them, recorded from
// the trace: the same opens, request blocks and closes.
struct PlatformCall {
  enum class Kind { Open, Request, Close } kind;
  std::string name;  // the device
  DWORD access = 0, share = 0, disposition = 0, ioctl = 0;
  std::vector<std::uint8_t> in;
  HANDLE kept = nullptr;  // the device that the adapter keeps open, if any
};

std::vector<PlatformCall> RecordCommand(ScsiAdapter& adapter, std::uint8_t target, bool read) {
  lumbrel::sim::Trace& trace = lumbrel::sim::CurrentMachine().trace();
  trace.Capture(true);
  trace.ClearRecords();
  RunCommand(adapter, target, read);
  std::vector<PlatformCall> calls;
  for (const auto& record : trace.Records()) {
    PlatformCall call{};
    if (record["call"] == "CreateFileA") {
      call.kind = PlatformCall::Kind::Open;
      call.name = record["name"];
      call.access = record["access"];
      call.share = record["share"];
      call.disposition = record["disposition"];
    } else if (record["call"] == "DeviceIoControl") {
      call.kind = PlatformCall::Kind::Request;
      call.name = record["device"];
      call.ioctl = std::stoul(record["ioctl"].get<std::string>(), nullptr, 16);
      call.in = lumbrel::sim::ParseHex(record["in"].get<std::string>());
    } else if (record["call"] == "CloseHandle") {
      call.kind = PlatformCall::Kind::Close;
    } else {
      continue;
    }
    calls.push_back(std::move(call));
  }
  trace.Capture(false);
  // A device that the command did not open itself is one the adapter keeps
  // open: the replay opens it once, beforehand.
  bool opens = false;
  for (PlatformCall& call : calls) {
    opens = opens || call.kind == PlatformCall::Kind::Open;
    if (call.kind == PlatformCall::Kind::Request && !opens) {
      call.kept = CreateFileA(call.name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    }
  }
  return calls;
}

// The same command without the library: its recorded platform calls sent by
// hand, the request blocks as the library filled them. What is left of
// Command's time beside this is the library's own work.
void PlatformOnly(benchmark::State& state, std::uint32_t port, std::uint8_t target, bool read, std::uint32_t dataOffset) {
  ScsiAdapter* adapter = OpenAdapterOf(state, port);
  if (adapter == nullptr) return;
  const std::vector<PlatformCall> calls = RecordCommand(*adapter, target, read);
  // The request goes out of the adapter's own transfer buffer, which begins
  // `dataOffset` bytes (its format's) before the data area, as the drivers
  // check the addresses that the blocks carry against it. Each request
  // restores the block that the previous answer overwrote; data-in bytes
  // need no restoring.
  std::uint8_t* buffer = adapter->GetDataBuffer(0) - dataOffset;
  const DWORD bufferSize = adapter->TransferBufferSize();
  for (auto _ : state) {
    HANDLE opened = nullptr;
    for (const PlatformCall& call : calls) {
      switch (call.kind) {
        case PlatformCall::Kind::Open:
          opened = CreateFileA(call.name.c_str(), call.access, call.share, nullptr, call.disposition, 0, nullptr);
          break;
        case PlatformCall::Kind::Close:
          CloseHandle(opened);
          break;
        case PlatformCall::Kind::Request: {
          std::memcpy(buffer, call.in.data(), std::min<std::size_t>(call.in.size(), dataOffset));
          DWORD returned = 0;
          if (!DeviceIoControl(call.kept != nullptr ? call.kept : opened, call.ioctl, buffer,
                               static_cast<DWORD>(call.in.size()), buffer, bufferSize, &returned, nullptr)) {
            state.SkipWithError("the request failed");
          }
          break;
        }
      }
    }
  }
  for (const PlatformCall& call : calls) {
    if (call.kept != nullptr) CloseHandle(call.kept);
  }
  UnloadMachine();
}

// Each command through the library beside its platform calls alone; the
// last argument is where the variant's request format puts the data.
#define LUMBREL_COMMAND(name, port, target, read, dataOffset)   \
  BENCHMARK_CAPTURE(Command, name, port, target, read);         \
  BENCHMARK_CAPTURE(PlatformOnly, name, port, target, read, dataOffset)
constexpr std::uint32_t kPassThrough = lumbrel::scsi_pass_through::kDataOffset;
LUMBREL_COMMAND(ScsiPort_ClassDevice_TestUnitReady, 0, 1, false, kPassThrough);
LUMBREL_COMMAND(ScsiPort_PortDevice_TestUnitReady, 0, 2, false, kPassThrough);
LUMBREL_COMMAND(ScsiPort_ClassDevice_Read4K, 0, 1, true, kPassThrough);
LUMBREL_COMMAND(Hhba5100_TestUnitReady, 1, 2, false, kPassThrough);
LUMBREL_COMMAND(Hhba5100_Read4K, 1, 2, true, kPassThrough);
LUMBREL_COMMAND(MegaRaid_TestUnitReady, 2, 1, false, lumbrel::megaraid_direct_cdb::kDataOffset);
LUMBREL_COMMAND(MegaRaid_Read4K, 2, 1, true, lumbrel::megaraid_direct_cdb::kDataOffset);
LUMBREL_COMMAND(Dac960_TestUnitReady, 3, 1, false, lumbrel::dac960_direct_cdb::kDataOffset);
LUMBREL_COMMAND(Dac960_Read4K, 3, 1, true, lumbrel::dac960_direct_cdb::kDataOffset);
LUMBREL_COMMAND(Qzv_TestUnitReady, 4, 1, false, lumbrel::scsi_request_block::kDataOffset);
LUMBREL_COMMAND(Qzv_Read4K, 4, 1, true, lumbrel::scsi_request_block::kDataOffset);
LUMBREL_COMMAND(Atapi_TestUnitReady, 5, 1, false, kPassThrough);
LUMBREL_COMMAND(Atapi_Read4K, 5, 1, true, kPassThrough);

// IdentifyDrive: one INQUIRY through the adapter and the match of its data
// against the identifier's tables.
void IdentifyDrive(benchmark::State& state, std::uint32_t port) {
  LoadMachine(EveryFamily());
  lumbrel::Module().adapterList.BuildAdapterList();
  ScsiAdapter* adapter = lumbrel::Module().adapterList.OpenAdapter(lumbrel::AdapterClassBase, port);
  if (adapter == nullptr) {
    state.SkipWithError("the adapter does not open");
    return;
  }
  for (auto _ : state) {
    lumbrel::DriveIdentity identity{};
    const std::uint32_t result = lumbrel::Module().driveIdentifier.IdentifyDrive(*adapter, 0, 1, &identity);
    if (result != 0 && result != 1004001) state.SkipWithError("the INQUIRY failed");
    benchmark::DoNotOptimize(identity);
  }
  UnloadMachine();
}
BENCHMARK_CAPTURE(IdentifyDrive, ScsiPort_ClassDevice, 0);
BENCHMARK_CAPTURE(IdentifyDrive, MegaRaid, 2);
BENCHMARK_CAPTURE(IdentifyDrive, Qzv, 4);


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
