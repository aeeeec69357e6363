// The background jobs through their exports: the start protocol, the
// commands each job sends and the result its callback receives.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "api/host_loader.h"
#include "drives/deep_format.h"
#include "drives/scripted_drive.h"
#include "lumbrel.h"
#include "result_codes.h"

namespace lumbrel::test {
namespace {

// What the callbacks of one kind received, for the test thread to wait on.
struct Reports {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::uint32_t> results;

  void Add(std::uint32_t result) {
    std::lock_guard lock(mutex);
    results.push_back(result);
    changed.notify_all();
  }
  // Waits for the job's callback; a callback that never comes fails the test
  // (the bound is real time only so that a missing callback cannot hang the run).
  static constexpr std::uint32_t kNoCallback = 0xDEADBEEF;
  std::uint32_t Next(std::size_t index = 0) {
    std::unique_lock lock(mutex);
    if (!changed.wait_for(lock, std::chrono::minutes(2), [&] { return results.size() > index; })) {
      ADD_FAILURE() << "callback " << index << " never came";
      return kNoCallback;
    }
    return results[index];
  }
};
Reports g_flash, g_format, g_firmware;
void LUMBREL_CALL OnFlash(std::uint32_t result) { g_flash.Add(result); }
void LUMBREL_CALL OnFormat(std::uint32_t result) { g_format.Add(result); }
void LUMBREL_CALL OnFirmware(std::uint32_t result) { g_firmware.Add(result); }

ScriptedTarget::Handler Status(std::vector<std::uint8_t> statuses) {
  auto next = std::make_shared<std::size_t>(0);
  return [statuses, next](const Bytes&, const Bytes&) {
    const std::uint8_t status = statuses[std::min(*next, statuses.size() - 1)];
    ++*next;
    return ScriptedTarget::Reply{status, {}};
  };
}

class JobTest : public DriveTest {
 protected:
  void LoadDrives(std::map<int, ScriptedTarget*> targets, const std::string& driver = "aic78xx") {
    DriveTest::LoadDrives(std::move(targets), driver);
    for (Reports* reports : {&g_flash, &g_format, &g_firmware}) reports->results.clear();
    SetActivityCallback(OnFlash);
    SetFormatCallback(OnFormat);
    SetFirmwareCallback(OnFirmware);
  }
  // Long jobs send thousands of commands: their trace is not kept.
  void QuietTrace() { machine().trace().Capture(false); }

  void TearDown() override {
    // A job's mark clears just after its callback returns.
    while (IsModuleLoaded() && (Module().jobs.flash || Module().jobs.format || Module().jobs.firmware)) {
      std::this_thread::yield();
    }
    DriveTest::TearDown();
  }
};

TEST_F(JobTest, AFlashReadsEveryBurstOfTheBufferUntilItsTimeIsUp) {
  ScriptedTarget drive;
  LoadDrives({{3, &drive}});
  QuietTrace();
  const std::uint32_t start = machine().clock().TickCount();
  ASSERT_EQ(FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, 3, 1), 0u);
  EXPECT_EQ(g_flash.Next(), 0u);
  const std::vector<Bytes> reads = Commands(drive, scsi_op::kRead6);
  ASSERT_EQ(reads.size(), 300u * 24) << "a burst every 100 ms for 30 s";
  EXPECT_EQ(reads[0], Built(cdb::Read6(0x0204, 4)));
  EXPECT_EQ(reads[23], Built(cdb::Read6(0x1904, 4)));
  EXPECT_EQ(reads[24], reads[0]) << "each burst starts again at 0x0204";
  machine().WaitForThreads();  // the job's time is its own until the test waits for it
  EXPECT_EQ(machine().clock().TickCount() - start, 30000u);
}

TEST_F(JobTest, AFlashOfEveryDriveReadsThePresentTargetsOfTheBusInWholePasses) {
  ScriptedTarget first, second;
  // Ten passes are enough to show the pattern: the last drive stops the job.
  auto reads = std::make_shared<int>(0);
  second.handlers[scsi_op::kRead6] = [reads](const Bytes&, const Bytes&) {
    if (++*reads == 10 * 24) StopFlashing();
    return ScriptedTarget::Reply{};
  };
  LoadDrives({{0, &first}, {2, &second}});
  QuietTrace();
  std::uint32_t units = 0;
  ASSERT_EQ(CountAdapterUnits(&units, nullptr), 0u);
  ASSERT_EQ(units, 2u);
  const std::uint32_t start = machine().clock().TickCount();
  ASSERT_EQ(FlashActivityLightAllDrives(LUMBREL_CLASS_SCSIPORT, 0, 0, 1), 0u);
  EXPECT_EQ(g_flash.Next(), 0u);
  EXPECT_EQ(Commands(first, scsi_op::kRead6).size(), 10u * 24);
  EXPECT_EQ(Commands(second, scsi_op::kRead6).size(), 10u * 24) << "the pass under way is finished";
  machine().WaitForThreads();
  EXPECT_EQ(machine().clock().TickCount() - start, 10u * 20 + 1) << "a 20 ms pause after each pass, 1 ms for the stop";
}

TEST_F(JobTest, AFlashReportsABadBusOrAnAbsentTargetThroughItsCallback) {
  ScriptedTarget drive;
  LoadDrives({{3, &drive}});
  ASSERT_EQ(FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 1, 3, 1), 0u) << "the bus is checked by the job";
  EXPECT_EQ(g_flash.Next(0), kBadBusOrClosedHandle);
  while (Module().jobs.flash) std::this_thread::yield();
  ASSERT_EQ(FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, 4, 1), 0u);
  EXPECT_EQ(g_flash.Next(1), kNoDevice);
  while (Module().jobs.flash) std::this_thread::yield();
  ASSERT_EQ(FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, 20, 1), 0u);
  EXPECT_EQ(g_flash.Next(2), 0u) << "no such target: nothing to flash";
  EXPECT_TRUE(Commands(drive, scsi_op::kRead6).empty());
}

TEST_F(JobTest, OneJobOfAKindAtATimeAndAStopEndsTheFlash) {
  ScriptedTarget drive;
  LoadDrives({{3, &drive}});
  QuietTrace();
  ASSERT_EQ(FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, 3, 100), 0u);
  EXPECT_EQ(FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, 3, 1), kJobExistsOrNoAdapter);
  while (Module().flashRunning == 0) std::this_thread::yield();
  EXPECT_EQ(FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, 3, 0), 0u) << "duration 0 stops";
  EXPECT_EQ(g_flash.Next(), 0u);
}

TEST_F(JobTest, AJobForAnAdapterThatIsNotThereIsRefused) {
  ScriptedTarget drive;
  LoadDrives({{3, &drive}});
  EXPECT_EQ(FlashDriveActivityLight(LUMBREL_CLASS_MEGARAID, 0, 0, 3, 1), kJobExistsOrNoAdapter);
  EXPECT_EQ(DeepFormatDrive(LUMBREL_CLASS_SCSIPORT, 1, 0, 3), kJobExistsOrNoAdapter);
  EXPECT_EQ(UpdateDriveFWImage(LUMBREL_CLASS_QZV, 0, 0, 3, nullptr, 0), kJobExistsOrNoAdapter);
  EXPECT_EQ(Module().jobs.format.load(), 0u) << "a refused start leaves the mark clear";
  EXPECT_TRUE(Calls("CreateThread").empty());
}

TEST_F(JobTest, AStartWithoutMemoryOrThreadLeavesNoTrace) {
  ScriptedTarget drive;
  LoadDrives({{3, &drive}});
  ASSERT_EQ(CountAdapterUnits(nullptr, nullptr), 0u);
  machine().faults().Add({"allocate", {}, 0, 0, 1});
  EXPECT_EQ(DeepFormatDrive(LUMBREL_CLASS_SCSIPORT, 0, 0, 3), kNoJobStartBlock);
  machine().faults().Add({"CreateThread", {}, 8, 0, 1});
  EXPECT_EQ(DeepFormatDrive(LUMBREL_CLASS_SCSIPORT, 0, 0, 3), 8u) << "the thread creation's error";
  EXPECT_EQ(Module().jobs.format.load(), 0u);
  EXPECT_EQ(Commands(drive, scsi_op::kInquiry).size(), drive.cdbs.size()) << "nothing but the scans' INQUIRY";
}

TEST_F(JobTest, JobsOfEveryKindAndTheCallersExportsShareAnAdapterWithoutMixingCommands) {
  ScriptedTarget flashed, formatted, updated, logged;
  updated.inquiry = ScriptedTarget::Inquiry("VENDOR", "DISK", "8808");
  logged.inquiry = ScriptedTarget::Inquiry("VENDOR", "DISK", "F302");
  LoadDrives({{3, &flashed}, {5, &formatted}, {6, &updated}, {2, &logged}});
  QuietTrace();
  const Bytes image(20000, 0x5A);
  ASSERT_EQ(FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, 3, 1), 0u);
  ASSERT_EQ(DeepFormatDrive(LUMBREL_CLASS_SCSIPORT, 0, 0, 5), 0u);
  ASSERT_EQ(UpdateDriveFWImage(LUMBREL_CLASS_SCSIPORT, 0, 0, 6, image.data(), 20000), 0u);
  std::uint8_t page[600];
  for (int i = 0; i < 20; ++i) EXPECT_EQ(ReadDriveLogPage(0, 0, 2, page, sizeof page), 0u);
  EXPECT_EQ(g_format.Next(), 0u);
  EXPECT_EQ(g_firmware.Next(), 0u);
  EXPECT_EQ(g_flash.Next(), 0u);

  auto only = [](const ScriptedTarget& target, std::set<std::uint8_t> opcodes) {
    return std::all_of(target.cdbs.begin(), target.cdbs.end(), [&](const Bytes& cdb) { return opcodes.count(cdb[0]); });
  };
  EXPECT_TRUE(only(flashed, {scsi_op::kInquiry, scsi_op::kRead6}));
  EXPECT_EQ(Commands(flashed, scsi_op::kRead6).size(), 300u * 24) << "the other jobs' pauses leave its time alone";
  EXPECT_TRUE(only(formatted, {scsi_op::kInquiry, scsi_op::kTestUnitReady, scsi_op::kRead6, scsi_op::kModeSense6,
                               scsi_op::kFormatUnit}));
  EXPECT_EQ(Commands(formatted, scsi_op::kFormatUnit).size(), 1u);
  EXPECT_TRUE(only(updated, {scsi_op::kInquiry, scsi_op::kTestUnitReady, scsi_op::kWriteBuffer}));
  ASSERT_EQ(updated.dataOut.size(), 1u);
  EXPECT_EQ(updated.dataOut[0], image) << "the image reached its drive whole";
  EXPECT_TRUE(only(logged, {scsi_op::kInquiry, scsi_op::kLogSense}));
  EXPECT_EQ(Commands(logged, scsi_op::kLogSense).size(), 20u * 3);
}

// A callback that holds its job until the test lets it go.
struct Gate {
  std::mutex mutex;
  std::condition_variable opened;
  bool open = false;
  std::atomic<int> waiting{0};
  void Pass() {
    std::unique_lock lock(mutex);
    ++waiting;
    opened.wait(lock, [&] { return open; });
  }
  void Open() {
    std::lock_guard lock(mutex);
    open = true;
    opened.notify_all();
  }
  void AwaitArrival() {
    while (waiting == 0) std::this_thread::yield();
  }
};
Gate* g_gate = nullptr;
std::atomic<std::uint32_t> g_startFromCallback{0};
void LUMBREL_CALL HeldFormat(std::uint32_t result) {
  g_startFromCallback = DeepFormatDrive(LUMBREL_CLASS_SCSIPORT, 0, 0, 5);
  g_gate->Pass();
  g_format.Add(result);
}

TEST_F(JobTest, OfManyThreadsStartingOneKindAtOnceExactlyOneSucceeds) {
  ScriptedTarget drive;
  LoadDrives({{5, &drive}});
  Gate gate;
  g_gate = &gate;
  SetFormatCallback(HeldFormat);
  std::atomic<int> started{0}, refused{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      const std::uint32_t result = DeepFormatDrive(LUMBREL_CLASS_SCSIPORT, 0, 0, 5);
      ++(result == 0 ? started : refused);
    });
  }
  for (std::thread& thread : threads) thread.join();
  gate.AwaitArrival();
  EXPECT_EQ(started, 1);
  EXPECT_EQ(refused, 7);
  EXPECT_EQ(g_startFromCallback, kJobExistsOrNoAdapter) << "the mark clears after the callback returns";
  gate.Open();
  EXPECT_EQ(g_format.Next(), 0u);
}

TEST_F(JobTest, TheCallbackRegisteredWhenTheJobEndsIsTheOneCalled) {
  ScriptedTarget drive;
  LoadDrives({{3, &drive}});
  QuietTrace();
  SetActivityCallback(nullptr);
  ASSERT_EQ(FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, 3, 100), 0u);
  SetActivityCallback(OnFlash);
  while (Module().flashRunning == 0) std::this_thread::yield();
  StopFlashing();
  EXPECT_EQ(g_flash.Next(), 0u);
}

// ---- unloading under running jobs ------------------------------------------

void AwaitUnload() {
  while (IsModuleLoaded()) std::this_thread::yield();
}

std::uint32_t StartOn(JobKind kind, std::uint32_t target, std::uint32_t flashUnits = 100) {
  static const std::uint8_t image[8] = {};
  switch (kind) {
    case JobKind::Flash:
      return FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, target, flashUnits);
    case JobKind::Format:
      return DeepFormatDrive(LUMBREL_CLASS_SCSIPORT, 0, 0, target);
    case JobKind::Firmware:
      return UpdateDriveFWImage(LUMBREL_CLASS_SCSIPORT, 0, 0, target, image, sizeof image);
  }
  return 0;
}

TEST_F(JobTest, AFreeLibraryRightAfterAStartLeavesTheModuleToTheWorker) {
  for (JobKind kind : {JobKind::Flash, JobKind::Format, JobKind::Firmware}) {
    Reports& reports = kind == JobKind::Flash ? g_flash : kind == JobKind::Format ? g_format : g_firmware;
    ScriptedTarget drive;
    LoadDrives({{3, &drive}});
    ASSERT_EQ(StartOn(kind, 4), 0u);  // no drive at 4: the job ends at its first command
    host::FreeModule();
    EXPECT_EQ(reports.Next(), kNoDevice);
    AwaitUnload();  // by the worker, as its last act
    EXPECT_EQ(reports.results.size(), 1u);
  }
}

TEST_F(JobTest, AFreeLibraryDuringAFlashNeitherStopsNorAwaitsIt) {
  ScriptedTarget drive;
  LoadDrives({{3, &drive}});
  QuietTrace();
  ASSERT_EQ(StartOn(JobKind::Flash, 3), 0u);
  while (Module().flashRunning == 0) std::this_thread::yield();
  host::FreeModule();
  host::LoadModule();  // the same module, with its marks
  EXPECT_EQ(StartOn(JobKind::Flash, 3), kJobExistsOrNoAdapter);
  EXPECT_EQ(Module().flashRunning.load(), 1u);
  EXPECT_TRUE(g_flash.results.empty());
  EXPECT_EQ(FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, 3, 0), 0u);
  host::FreeModule();
  EXPECT_EQ(g_flash.Next(), 0u);
  AwaitUnload();
}

// Two callers load, start, stop and free at once: every job that started
// calls back exactly once, and the module goes with the last worker.
std::atomic<int> g_callbacks[3];
void LUMBREL_CALL CountFlash(std::uint32_t) { ++g_callbacks[0]; }
void LUMBREL_CALL CountFormat(std::uint32_t) { ++g_callbacks[1]; }
void LUMBREL_CALL CountFirmware(std::uint32_t) { ++g_callbacks[2]; }

TEST_F(JobTest, LoadStartStopAndFreeFromTwoThreadsLosesNoCallback) {
  ScriptedTarget drive;
  LoadDrives({{3, &drive}});
  QuietTrace();
  host::FreeModule();
  for (auto& count : g_callbacks) count = 0;
  std::atomic<int> started[3] = {};
  auto cycles = [&](int first) {
    for (int i = first; i < first + 100; ++i) {
      const auto kind = static_cast<JobKind>(i % 3);
      host::LoadModule();
      SetActivityCallback(CountFlash);
      SetFormatCallback(CountFormat);
      SetFirmwareCallback(CountFirmware);
      if (StartOn(kind, i % 2 == 0 ? 4 : 3, 1) == 0) ++started[i % 3];
      if (i % 4 == 1) FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, 3, 0);
      host::FreeModule();
    }
  };
  std::thread other(cycles, 1);
  cycles(0);
  other.join();
  host::UnloadModule();  // stops a flash left running, awaits the workers
  // How many starts a running job turns away depends on the scheduler; each
  // kind's first start always finds it free.
  for (int kind = 0; kind < 3; ++kind) {
    EXPECT_GE(started[kind], 1) << "kind " << kind;
    EXPECT_EQ(g_callbacks[kind], started[kind]) << "kind " << kind;
  }
}

// ---- the format -----------------------------------------------------------

Bytes ModePage0(std::uint8_t byte18, std::uint8_t byte19) {
  Bytes data(24, 0);
  data[0] = 23;     // mode data length: the bytes after it
  data[4] = 0x80;   // page 0, PS
  data[5] = 18;     // page length
  data[18] = byte18;
  data[19] = byte19;
  return data;
}

TEST_F(JobTest, AFormatClearsTheModeBitsThenFormats) {
  ScriptedTarget drive;
  drive.handlers[scsi_op::kTestUnitReady] = Status({2, 0});
  drive.handlers[scsi_op::kModeSense6] = [](const Bytes&, const Bytes&) {
    return ScriptedTarget::Reply{0, ModePage0(0x08, 0x00)};
  };
  LoadDrives({{5, &drive}});
  ASSERT_EQ(DeepFormatDrive(LUMBREL_CLASS_SCSIPORT, 0, 0, 5), 0u);
  EXPECT_EQ(g_format.Next(), 0u);
  std::vector<std::uint8_t> opcodes;
  for (const Bytes& cdb : drive.cdbs) opcodes.push_back(cdb[0]);
  EXPECT_EQ(opcodes, (std::vector<std::uint8_t>{scsi_op::kInquiry, scsi_op::kTestUnitReady, scsi_op::kTestUnitReady,
                                                scsi_op::kRead6, scsi_op::kModeSense6, scsi_op::kModeSelect6,
                                                scsi_op::kFormatUnit}));
  EXPECT_EQ(Commands(drive, scsi_op::kRead6).at(0), Built(cdb::Read6(772, 1)));
  EXPECT_EQ(Commands(drive, scsi_op::kModeSense6).at(0), Built(cdb::ModeSense6(PageControl::Current, 0, 255)));
  EXPECT_EQ(Commands(drive, scsi_op::kModeSelect6).at(0), Built(cdb::ModeSelect6(24)));
  const Bytes selected = drive.dataOut.at(0);
  ASSERT_EQ(selected.size(), 24u);
  EXPECT_EQ(selected[0], 0) << "the mode data length is reserved";
  EXPECT_EQ(selected[4], 0x00) << "PS cleared";
  EXPECT_EQ(selected[18], 0x00);
}

// A simulated drive whose mode data claims 255 bytes and holds 24, after a
// READ(6) has left a block of its pattern in the data area.
TEST_F(ModuleTest, ModeDataShorterThanItClaimsGoesBackWithZerosPastItsEnd) {
  Load(R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1,
      "modeSenseReply":"FF 00 00 00 80 12 00 00 00 00 00 00 00 00 00 00 00 00 08 04 00 00 00 00"}]}]}]})");
  ASSERT_EQ(Module().adapterList.BuildAdapterList(), 0u);
  ScsiAdapter& adapter = *Module().adapterList.GetAdapter(0);
  ASSERT_EQ(adapter.ExecuteIn(0u, 1u, cdb::Read6(5, 1)), 0u);
  EXPECT_EQ(ClearFormatModeBits(adapter, 0, 1), kCheckCondition) << "a drive without page 0 refuses it";
  const std::vector<nlohmann::ordered_json> sent = Calls("DeviceIoControl");
  const std::string list = sent.back().at("dataOut").get<std::string>();
  ASSERT_EQ(list.size(), 2u * 255);
  EXPECT_EQ(list.substr(0, 48), "000000000012000000000000000000000000000000000000");
  EXPECT_EQ(list.find_first_not_of('0', 48), std::string::npos) << "nothing of the block read before";
}

TEST_F(JobTest, AFormatStopsAtTheFirstFailingStep) {
  struct Case {
    const char* what;
    std::uint8_t opcode;
    std::vector<std::uint8_t> statuses;
    std::uint32_t result;
    bool formatted;
  } cases[] = {
      {"not ready twice", scsi_op::kTestUnitReady, {2, 2}, 2, false},
      {"unreadable", scsi_op::kRead6, {2}, 2, false},
      {"MODE SENSE refused: skipped", scsi_op::kModeSense6, {2}, 0, true},
      {"MODE SELECT refused", scsi_op::kModeSelect6, {2}, 2, false},
      {"FORMAT UNIT refused", scsi_op::kFormatUnit, {8}, 8, true},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    ScriptedTarget drive;
    drive.handlers[scsi_op::kModeSense6] = [](const Bytes&, const Bytes&) {
      return ScriptedTarget::Reply{0, ModePage0(0x00, 0x04)};
    };
    drive.handlers[c.opcode] = Status(c.statuses);
    LoadDrives({{5, &drive}});
    g_format.results.clear();
    ASSERT_EQ(DeepFormatDrive(LUMBREL_CLASS_SCSIPORT, 0, 0, 5), 0u) << c.what;
    EXPECT_EQ(g_format.Next(), c.result) << c.what;
    EXPECT_EQ(Commands(drive, scsi_op::kFormatUnit).size(), c.formatted ? 1u : 0u) << c.what;
    while (Module().jobs.format) std::this_thread::yield();
  }
}

// ---- the firmware download -------------------------------------------------

struct Download {
  std::uint32_t classCode;
  const char* driver;
  std::string revision;  // selects the drive's capabilities
  std::uint32_t length;
  std::uint32_t result;
  std::vector<Bytes> commands;
};

class FirmwareTest : public JobTest {
 protected:
  std::vector<Bytes> Run(const Download& d, ScriptedTarget& drive, std::uint32_t* result) {
    drive.inquiry = ScriptedTarget::Inquiry("VENDOR", "DISK", d.revision);
    LoadDrives({{6, &drive}}, d.driver);
    image_.assign(d.length, 0);
    for (std::size_t i = 0; i < image_.size(); ++i) image_[i] = static_cast<std::uint8_t>(i * 7);
    g_firmware.results.clear();
    static const std::uint8_t kNoImage = 0;  // an empty image still has an address
    EXPECT_EQ(UpdateDriveFWImage(d.classCode, 0, 0, 6, image_.empty() ? &kNoImage : image_.data(), d.length), 0u);
    *result = g_firmware.Next();
    return Commands(drive, scsi_op::kWriteBuffer);
  }
  Bytes image_;
};

TEST_F(FirmwareTest, TheImageGoesInTheStyleThatTheIdentityCallsFor) {
  const Download downloads[] = {
      {LUMBREL_CLASS_SCSIPORT, "aic78xx", "8808", 20000, 0, {Built(cdb::WriteBuffer10(5, 0, 0, 20000))}},
      {LUMBREL_CLASS_SCSIPORT, "aic78xx", "0340", 100000, 0,
       {Built(cdb::WriteBuffer10(7, 0, 0, 32768)), Built(cdb::WriteBuffer10(7, 0, 32768, 32768)),
        Built(cdb::WriteBuffer10(7, 0, 65536, 32768)), Built(cdb::WriteBuffer10(7, 0, 98304, 1696))}},
      {LUMBREL_CLASS_SCSIPORT, "aic78xx", "8808", 40000, kOperationRefused, {}},
      {LUMBREL_CLASS_SCSIPORT, "aic78xx", "S80J", 40000, 0,
       {Built(cdb::WriteBuffer10(5, 0, 0, 32768)), Built(cdb::WriteBuffer10(5, 1, 0, 7232))}},
      {LUMBREL_CLASS_ATAPI, "atapi", "8808", 100, kOperationRefused, {}},
      {LUMBREL_CLASS_SCSIPORT, "aic78xx", "XYZ1", 100, kOperationRefused, {}},  // unknown drive
      {LUMBREL_CLASS_SCSIPORT, "aic78xx", "0340", 0, 0, {}},  // an empty image: nothing to send
  };
  for (const Download& d : downloads) {
    ScriptedTarget drive;
    std::uint32_t result = 99;
    const std::vector<Bytes> sent = Run(d, drive, &result);
    EXPECT_EQ(result, d.result) << d.revision << " " << d.length;
    EXPECT_EQ(sent, d.commands) << d.revision << " " << d.length;
    if (!d.commands.empty()) {
      Bytes received;
      for (const Bytes& chunk : drive.dataOut) received.insert(received.end(), chunk.begin(), chunk.end());
      EXPECT_EQ(received, image_) << "every byte of the image, in order";
    }
    while (Module().jobs.firmware) std::this_thread::yield();
  }
}

TEST_F(FirmwareTest, TheJobWaitsForTheRestartAndReportsTheLastProbe) {
  struct Case {
    int failingProbes;  // after the download
    std::uint32_t result;
    std::size_t probeCommands;
    std::uint32_t waitedMs;
  } cases[] = {{2, 0, 2 * 2 + 1, 5000 + 2 * 500}, {100, 2, 41 * 2, 5000 + 40 * 500}};
  for (const Case& c : cases) {
    ScriptedTarget drive;
    auto downloaded = std::make_shared<bool>(false);
    auto probes = std::make_shared<int>(0);
    drive.handlers[scsi_op::kWriteBuffer] = [downloaded](const Bytes&, const Bytes&) {
      *downloaded = true;
      return ScriptedTarget::Reply{};
    };
    const int failing = c.failingProbes;
    drive.handlers[scsi_op::kTestUnitReady] = [downloaded, probes, failing](const Bytes&, const Bytes&) {
      // Each probe that finds the drive restarting is a CHECK CONDITION twice.
      const bool restarting = *downloaded && (*probes)++ < 2 * failing;
      return ScriptedTarget::Reply{static_cast<std::uint8_t>(restarting ? 2 : 0), {}};
    };
    std::uint32_t result = 99;
    Run({LUMBREL_CLASS_SCSIPORT, "aic78xx", "8808", 100, c.result, {}}, drive, &result);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(Commands(drive, scsi_op::kTestUnitReady).size(), 1 + c.probeCommands) << "one probe before";
    std::uint32_t slept = 0;
    for (const auto& record : Calls("Sleep")) slept += record["milliseconds"].get<std::uint32_t>();
    EXPECT_EQ(slept, c.waitedMs);
    while (Module().jobs.firmware) std::this_thread::yield();
  }
}

}  // namespace
}  // namespace lumbrel::test
