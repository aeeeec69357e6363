// Every export against a platform that fails: each call that the export
// makes (every kind of platform call that can fail, the library's
// allocations and the drives' commands included) is failed in turn, on a
// fresh machine and a freshly loaded library. Nothing may crash, leak or
// report a job twice, and the caller's memory is written only as each
// export promises.
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>

#include "lumbrel.h"
#include "sim/faults.h"
#include "sim/machine_description.h"
#include "support/module_fixture.h"

namespace lumbrel::test {
namespace {

// A representative failure of each kind of call that a rule can name: the
// code a real system gives most often there.
const std::map<std::string, std::uint32_t>& Failures() {
  static const std::map<std::string, std::uint32_t> failures = {
      {"CreateFileA", 2},           // ERROR_FILE_NOT_FOUND
      {"DeviceIoControl", 1117},    // ERROR_IO_DEVICE
      {"CloseHandle", 6},           // ERROR_INVALID_HANDLE
      {"ReadFile", 30},             // ERROR_READ_FAULT
      {"WriteFile", 29},            // ERROR_WRITE_FAULT
      {"DeleteFileA", 5},           // ERROR_ACCESS_DENIED
      {"FindFirstFileA", 2},
      {"CreateThread", 8},          // ERROR_NOT_ENOUGH_MEMORY
      {"LoadLibraryA", 126},        // ERROR_MOD_NOT_FOUND
      {"GetProcAddress", 127},      // ERROR_PROC_NOT_FOUND
      {"FreeLibrary", 5},
      {"RegOpenKeyExA", 2},
      {"RegQueryValueExA", 2},
      {"GetWindowsDirectoryA", 5},
      {"GetSystemDirectoryA", 5},
      {"ExpandEnvironmentStringsA", 5},
      {"I2C_OpenDevice", 0x01FF},
      {"I2C_CloseDevice", 0x01FF},
      {"I2C_GetOutputShadow", 0x01FF},
      {"I2C_ReceiveMessage", 0x01FF},
      {"I2C_SendMessage", 0x01FF},
      {"allocate", 0},
      {"scsi", 2},                  // CHECK CONDITION
  };
  return failures;
}

// A job repeats the same calls every pass: of a kind that it calls more
// often than twice this, its sweep fails the first and the last calls, which
// cover the start, the first passes and the end, rather than each between.
constexpr std::uint64_t kJobCallsFromEachEnd = 30;

constexpr std::uint8_t kUnwritten = 0xA5;

// What the caller hands the exports, filled with a pattern before each call
// so that a write shows.
struct CallerMemory {
  std::array<CageInfo, 4> cages;
  std::uint32_t cageCount;
  std::array<DiskConfigRecord, 64> records;
  std::array<AdapterInfoRecord, 16> adapters;
  std::array<std::uint8_t, 600> page;
  std::uint32_t level;

  CallerMemory() { std::memset(static_cast<void*>(this), kUnwritten, sizeof *this); }

  template <typename T>
  static bool Unwritten(const T& object) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&object);
    for (std::size_t i = 0; i < sizeof object; ++i) {
      if (bytes[i] != kUnwritten) return false;
    }
    return true;
  }
};

std::atomic<std::uint32_t> g_callbacks[3];
void LUMBREL_CALL CountFlashCallback(std::uint32_t) { ++g_callbacks[0]; }
void LUMBREL_CALL CountFormatCallback(std::uint32_t) { ++g_callbacks[1]; }
void LUMBREL_CALL CountFirmwareCallback(std::uint32_t) { ++g_callbacks[2]; }

const std::array<std::uint8_t, 4096> kFirmwareImage = {0x46, 0x57};

enum class Before { Nothing, CountUnits, FindCages };

struct ExportUnderTest {
  const char* name;
  std::function<std::uint32_t(CallerMemory&)> call;
  // What a caller has done before: the report reads the adapter list that
  // CountAdapterUnits builds, the bay controls need the cages found.
  Before before = Before::Nothing;
  int job = -1;  // the callback that the export's job reports through
  std::uint32_t healthy = 0;  // the result when nothing fails
  // What the export promises about the caller's memory, given its result.
  std::function<void(std::uint32_t, const CallerMemory&)> check = {};
};

void PrintTo(const ExportUnderTest& e, std::ostream* os) { *os << e.name; }

const std::vector<ExportUnderTest>& Exports() {
  using M = CallerMemory;
  static const std::vector<ExportUnderTest> exports = {
      {.name = "InitializeDiags",
       .call = [](M& m) { return InitializeDiags(m.cages.data(), &m.cageCount); },
       .check =
           [](std::uint32_t result, const M& m) {
             if (result == 0) return;
             EXPECT_TRUE(M::Unwritten(m.cages)) << "a failed search fills no record";
             EXPECT_TRUE(M::Unwritten(m.cageCount)) << "a failed search stores no count";
           }},
      {.name = "SFStartFlashPower", .call = [](M&) { return SFStartFlashPower(1, 0x27); }, .before = Before::FindCages},
      {.name = "SFStopFlashPower", .call = [](M&) { return SFStopFlashPower(1, 0x27); }, .before = Before::FindCages},
      {.name = "SFAdjustPowerLED", .call = [](M&) { return SFAdjustPowerLED(1, 0x27, 1); }, .before = Before::FindCages},
      {.name = "SetActivityCallback", .call = [](M&) { SetActivityCallback(CountFlashCallback); return 0u; }},
      {.name = "SetFormatCallback", .call = [](M&) { SetFormatCallback(CountFormatCallback); return 0u; }},
      {.name = "SetFirmwareCallback", .call = [](M&) { SetFirmwareCallback(CountFirmwareCallback); return 0u; }},
      {.name = "FlashDriveActivityLight",
       .call = [](M&) { return FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 1, 3, 1); },
       .job = 0},
      {.name = "FlashActivityLightAllDrives",
       .call = [](M&) { return FlashActivityLightAllDrives(LUMBREL_CLASS_SCSIPORT, 0, 1, 1); },
       .job = 0},
      {.name = "DeepFormatDrive", .call = [](M&) { return DeepFormatDrive(LUMBREL_CLASS_SCSIPORT, 0, 0, 4); }, .job = 1},
      {.name = "UpdateDriveFWImage",
       .call =
           [](M&) {
             return UpdateDriveFWImage(LUMBREL_CLASS_SCSIPORT, 0, 0, 2, kFirmwareImage.data(), kFirmwareImage.size());
           },
       .job = 2},
      {.name = "GetRaidLevel",
       .call = [](M& m) { return GetRaidLevel(2, 0, 1, &m.level); },
       .check =
           [](std::uint32_t result, const M& m) {
             if (result != 0) {
               EXPECT_EQ(m.level, 65535u) << "a failed query reports no level";
             }
           }},
      // The MegaRAID drive is a member of the RAID 5 that carries D:.
      {.name = "GetAllDriveLetters", .call = [](M&) { return GetAllDriveLetters(2, 0, 1); }, .healthy = 1u << 3},
      {.name = "CountAdapterUnits", .call = [](M& m) { return CountAdapterUnits(&m.level, &m.cageCount); }},
      {.name = "GetAllDiskConfigInfo",
       .call = [](M& m) { return GetAllDiskConfigInfo(m.records.data(), m.records.size()); },
       .before = Before::CountUnits,
       .check = [](std::uint32_t result, const M&) { EXPECT_EQ(result, 0u) << "the report always succeeds"; }},
      {.name = "GetAllAdapterInfo",
       .call = [](M& m) { return GetAllAdapterInfo(m.adapters.data()); },
       .before = Before::CountUnits,
       .check =
           [](std::uint32_t result, const M& m) {
             if (result != 0) {
               EXPECT_TRUE(M::Unwritten(m.adapters)) << "a failed report writes nothing";
             }
           }},
      {.name = "ReadDriveLogPage",
       .call = [](M& m) { return ReadDriveLogPage(0, 0, 2, m.page.data(), m.page.size()); },
       .check =
           [](std::uint32_t result, const M& m) {
             if (result != 0) {
               EXPECT_TRUE(M::Unwritten(m.page)) << "a failed read leaves the buffer as it was";
             }
           }},
      {.name = "WriteDriveLogPage",
       .call =
           [](M& m) {
             m.page.fill(0x38);
             return WriteDriveLogPage(0, 0, 2, m.page.data(), m.page.size(), 0);
           }},
      {.name = "GetDriveReadiness",
       .call = [](M& m) { return GetDriveReadiness(LUMBREL_CLASS_SCSIPORT, 0, 0, 1, &m.level); }},
  };
  return exports;
}

nlohmann::json ReadExample(const std::string& name) {
  std::ifstream file(std::string(LUMBREL_EXAMPLE_MACHINES) + "/" + name);
  return nlohmann::json::parse(file);
}

// The two-cage example server, with a drive of each job and the log page on
// its first SCSI bus, and beside it an HHBA5100 and a DAC960 controller and
// containers of the maker's controller with its management library: every
// driver family, arrays on every controller kind, volumes on each.
std::string SweepMachine() {
  nlohmann::json machine = ReadExample("default.json");
  nlohmann::json& disks = machine["ports"][0]["buses"][0]["devices"];
  disks[1]["logPages"] = {0, 50};
  disks[1]["firmware"] = {{"modes", {7}}, {"maxLength", 1048576}, {"revisionAfter", "0633"}};
  disks[2]["modePage0"] = "80 12 00 00 00 00 00 00 00 00 00 00 00 00 08 04 00 00 00 00";
  disks[2]["formatSeconds"] = 2;
  // The flash jobs read from the second bus's disk, slow enough that a
  // job's 30 seconds hold only a few bursts of reads.
  machine["ports"][0]["buses"][1]["devices"][1]["latencyMs"] = 1000;

  // Renumbered past the example's own disk devices, each carrying a letter.
  std::uint32_t nextDrive = 7;
  char nextLetter = 'F';
  auto add = [&](nlohmann::json port) {
    if (port.contains("logicalDrives")) {
      for (auto& logical : port["logicalDrives"]) {
        logical["physicalDrive"] = nextDrive;
        machine["volumes"].push_back({{"letter", std::string(1, nextLetter++)}, {"extents", {nextDrive++}}});
      }
    }
    for (auto& bus : port["buses"]) {
      if (!bus.contains("devices")) continue;
      for (auto& device : bus["devices"]) device.erase("physicalDrive");
    }
    machine["ports"].push_back(std::move(port));
  };
  add(ReadExample("hhba5100-array.json")["ports"][0]);
  const nlohmann::json containers = ReadExample("qzv-containers.json");
  add(containers["ports"][0]);
  machine["arrayLibrary"] = containers["arrayLibrary"];
  const nlohmann::json controllers = ReadExample("controllers.json");
  for (const auto& port : controllers["ports"]) {
    if (port["driver"] == "dac960nt") add(port);
  }
  return machine.dump();
}

class FailureSweepTest : public ModuleTest, public ::testing::WithParamInterface<ExportUnderTest> {
 protected:
  // A fresh machine and library, with the callbacks set and what the export
  // needs from an earlier call (the adapter list, the cages).
  void Fresh() {
    Load(sweepConfig());
    for (auto& count : g_callbacks) count = 0;
    SetActivityCallback(CountFlashCallback);
    SetFormatCallback(CountFormatCallback);
    SetFirmwareCallback(CountFirmwareCallback);
    machine().trace().Capture(false);  // the sweep counts calls; recording them would dominate its time
    if (GetParam().before == Before::CountUnits) {
      ASSERT_EQ(CountAdapterUnits(nullptr, nullptr), 0u);
    } else if (GetParam().before == Before::FindCages) {
      ASSERT_EQ(InitializeDiags(nullptr, nullptr), 0u);
    }
  }

  // Runs the export and lets its job end; the export's own checks apply.
  std::uint32_t Run() {
    CallerMemory memory;
    const std::uint32_t result = GetParam().call(memory);
    machine().WaitForThreads();
    if (GetParam().check) GetParam().check(result, memory);
    return result;
  }

  // The calls of each kind that the export makes when nothing fails.
  std::map<std::string, std::uint64_t> CountCalls() {
    Fresh();
    std::map<std::string, std::uint64_t> before;
    for (const auto& [kind, error] : Failures()) before[kind] = machine().faults().CheckedCount(kind);
    EXPECT_EQ(Run(), GetParam().healthy) << "the export does its whole work when nothing fails";
    std::map<std::string, std::uint64_t> counts;
    for (const auto& [kind, error] : Failures()) {
      const std::uint64_t calls = machine().faults().CheckedCount(kind) - before[kind];
      if (calls > 0) counts[kind] = calls;
    }
    CheckLeftClean();
    return counts;
  }

  // Fails call `index` of `kind` once.
  void FailOne(const std::string& kind, std::uint64_t index) {
    Fresh();
    machine().faults().Add({kind, {}, Failures().at(kind), static_cast<std::uint32_t>(index), 1});
    const std::uint32_t result = Run();
    EXPECT_EQ(machine().faults().InjectedCount(), 1u) << "the export makes the same calls up to the failed one";
    if (GetParam().job >= 0) {
      EXPECT_EQ(g_callbacks[GetParam().job].load(), result == 0 ? 1u : 0u)
          << "a started job calls back exactly once; a refused start never";
      if (result != 0) {
        // A refused start leaves no mark: the next start on a healthy
        // platform succeeds.
        machine().faults().Clear();
        CallerMemory memory;
        EXPECT_EQ(GetParam().call(memory), 0u) << "a job of the same kind may start again";
        machine().WaitForThreads();
      }
    }
    CheckLeftClean(kind);
  }

  void CheckLeftClean(const std::string& failed = {}) {
    UnloadModule();
    // A refused release leaves its object behind. An array library with an
    // entry point that did not resolve is kept loaded rather than loaded
    // again at every refresh, and with no close entry point a controller
    // that it opened stays open.
    const bool unresolved = failed == "GetProcAddress";
    ExpectNothingLeftOpen({.i2cOpen = failed == "I2C_CloseDevice",
                           .arrayLibraryLoads = failed == "FreeLibrary" || unresolved,
                           .arrayAdapters = unresolved});
  }

  // Parsed once: the sweep installs the machine a few thousand times.
  static const sim::MachineConfig& sweepConfig() {
    static const sim::MachineConfig config = sim::ParseMachine(nlohmann::json::parse(SweepMachine()));
    return config;
  }
};

TEST_P(FailureSweepTest, SurvivesEachOfItsPlatformCallsFailing) {
  const std::map<std::string, std::uint64_t> counts = CountCalls();
  ASSERT_FALSE(HasFailure());
  std::uint64_t injected = 0;
  std::string kinds;
  for (const auto& [kind, calls] : counts) {
    std::uint64_t failed = 0;
    for (std::uint64_t index = 0; index < calls; ++index) {
      if (GetParam().job >= 0 && index == kJobCallsFromEachEnd && calls > 2 * kJobCallsFromEachEnd) {
        index = calls - kJobCallsFromEachEnd;
      }
      SCOPED_TRACE(kind + " call " + std::to_string(index + 1) + " of " + std::to_string(calls));
      FailOne(kind, index);
      if (HasFailure()) return;
      ++failed;
    }
    kinds += " " + kind + "=" + std::to_string(failed);
    if (failed < calls) kinds += "/" + std::to_string(calls);
    injected += failed;
  }
  RecordProperty("injected", std::to_string(injected));
  std::printf("failure sweep: %s %llu failures:%s\n", GetParam().name, static_cast<unsigned long long>(injected),
              kinds.c_str());
}

INSTANTIATE_TEST_SUITE_P(EveryExport, FailureSweepTest, ::testing::ValuesIn(Exports()),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace lumbrel::test
