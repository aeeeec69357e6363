// The background jobs on real Windows threads: the flash, format and
// firmware workers of the shipping DLL, on one aic78xx port. No drive
// answers under Wine, so each job ends at its first command and reports
// that failure through its callback.
//
// The callbacks record what they see and then hold their worker on an
// event until the case lets it go, so a job stays in progress for exactly
// as long as a case needs it to.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "check.h"
#include "scsi_ports.h"
#include "session.h"

namespace {

using wine_tests::Library;

enum Kind { kFlash, kFormat, kFirmware, kKinds };
constexpr Kind kAllKinds[] = {kFlash, kFormat, kFirmware};
constexpr const char* kKindNames[] = {"flash", "format", "firmware"};

// Bounds every wait, so a job that never reports fails its case instead of
// hanging the program; generous for Wine inside an emulated machine.
constexpr DWORD kWaitMs = 60000;
constexpr std::uint32_t kJobRefused = LUMBREL_JOB_EXISTS_OR_NO_ADAPTER;
// Each job's first command opens the port's device, which Wine has not:
// "not found", which the DLL reports as no device at the address.
constexpr std::uint32_t kNoDriveAnswers = LUMBREL_NO_DEVICE;

const std::uint8_t kImage[512] = {};

// What the callbacks of one kind saw, written on the worker before
// `arrived` is set and read by the case after it has waited for it.
struct Report {
  HANDLE arrived = nullptr;  // auto-reset, set once per callback
  DWORD threadId = 0;
  std::uint32_t result = 0;
  HANDLE worker = nullptr;    // the worker thread, opened from its callback
  std::uint32_t restart = 0;  // a start of the callback's own kind, when asked for
};

Report g_reports[kKinds];
HANDLE g_release = nullptr;  // manual-reset: the callbacks may return
bool g_restartFromCallback = false;
const wine_tests::Exports* g_exports = nullptr;

std::uint32_t StartKind(Kind kind, std::uint32_t adapterClass = LUMBREL_CLASS_SCSIPORT, std::uint32_t ordinal = 0) {
  const wine_tests::Exports& e = *g_exports;
  switch (kind) {
    case kFlash:
      return e.FlashDriveActivityLight(adapterClass, ordinal, 0, 1, 1);
    case kFormat:
      return e.DeepFormatDrive(adapterClass, ordinal, 0, 1);
    case kFirmware:
      return e.UpdateDriveFWImage(adapterClass, ordinal, 0, 1, kImage, sizeof kImage);
    case kKinds:
      break;
  }
  return 0;
}

void Record(Kind kind, std::uint32_t result) {
  Report& report = g_reports[kind];
  report.threadId = GetCurrentThreadId();
  report.result = result;
  report.worker = OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId());
  if (g_restartFromCallback) report.restart = StartKind(kind);
  SetEvent(report.arrived);
  WaitForSingleObject(g_release, kWaitMs);
}

void __stdcall OnFlash(std::uint32_t result) { Record(kFlash, result); }
void __stdcall OnFormat(std::uint32_t result) { Record(kFormat, result); }
void __stdcall OnFirmware(std::uint32_t result) { Record(kFirmware, result); }

// One aic78xx port with one bus, the DLL loaded over it and the three
// callbacks registered. At the end every job that started is let go and
// its worker awaited, so none outlives its case.
class JobsSession {
 public:
  JobsSession() {
    g_release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (Report& report : g_reports) report = Report{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    g_restartFromCallback = false;
    g_exports = &*lumbrel_;
    if (ready()) {
      lumbrel_->SetActivityCallback(OnFlash);
      lumbrel_->SetFormatCallback(OnFormat);
      lumbrel_->SetFirmwareCallback(OnFirmware);
    }
  }

  ~JobsSession() {
    Release();
    for (Kind kind : kAllKinds) {
      while (pending_[kind] > 0 || holding_[kind] > 0) AwaitWorker(kind);
    }
    lumbrel_.Unload();
    g_exports = nullptr;
    for (Report& report : g_reports) CloseHandle(report.arrived);
    CloseHandle(g_release);
    wine_tests::RemoveScsiPorts();
  }

  JobsSession(const JobsSession&) = delete;
  JobsSession& operator=(const JobsSession&) = delete;

  bool ready() const {
    const wine_tests::Exports& e = *lumbrel_;
    return portReady_ && e.FlashDriveActivityLight && e.DeepFormatDrive && e.UpdateDriveFWImage &&
           e.SetActivityCallback && e.SetFormatCallback && e.SetFirmwareCallback;
  }
  Library& library() { return lumbrel_; }

  // Loads the DLL again and registers the callbacks, which a fresh load
  // has cleared.
  bool Reload() {
    if (!lumbrel_.Load()) return false;
    lumbrel_->SetActivityCallback(OnFlash);
    lumbrel_->SetFormatCallback(OnFormat);
    lumbrel_->SetFirmwareCallback(OnFirmware);
    return true;
  }

  // A flash of the adapter's own id: nothing is read, the loop only pauses
  // until its 30 s are up or it is stopped.
  std::uint32_t StartFlashLoop() {
    const std::uint32_t result = lumbrel_->FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, 7, 1);
    if (result == 0) ++pending_[kFlash];
    return result;
  }

  // Starts a job; one that started is awaited at the end.
  std::uint32_t Start(Kind kind, std::uint32_t adapterClass = LUMBREL_CLASS_SCSIPORT, std::uint32_t ordinal = 0) {
    const std::uint32_t result = StartKind(kind, adapterClass, ordinal);
    if (result == 0) ++pending_[kind];
    return result;
  }

  // Waits until the kind's callback has been called (it holds there).
  bool AwaitCallback(Kind kind) {
    if (WaitForSingleObject(g_reports[kind].arrived, kWaitMs) != WAIT_OBJECT_0) return false;
    --pending_[kind];
    ++holding_[kind];
    return true;
  }

  void Release() { SetEvent(g_release); }

  // Awaits the kind's next callback if it has not come yet, lets it return
  // and waits until its worker thread has ended.
  bool AwaitWorker(Kind kind) {
    if (holding_[kind] == 0 && !AwaitCallback(kind)) {
      pending_[kind] = 0;  // it never reported: nothing left to wait for
      return false;
    }
    --holding_[kind];
    Release();
    HANDLE worker = g_reports[kind].worker;
    g_reports[kind].worker = nullptr;
    const bool ended = worker != nullptr && WaitForSingleObject(worker, kWaitMs) == WAIT_OBJECT_0;
    if (worker != nullptr) CloseHandle(worker);
    ResetEvent(g_release);
    return ended;
  }

 private:
  static bool WritePort() {
    wine_tests::RemoveScsiPorts();
    return wine_tests::AddScsiPort(0, "aic78xx", 1);
  }

  bool portReady_ = WritePort();  // before the load, which reads the ports
  Library lumbrel_;
  int pending_[kKinds] = {};  // started, callback not yet seen
  int holding_[kKinds] = {};  // callback seen, worker not yet awaited
};

std::string Named(Kind kind, const char* what) { return std::string(kKindNames[kind]) + ": " + what; }

#define EXPECT_KIND(kind, condition) \
  ((condition) ? (void)0 : ::wine_check::Fail(__FILE__, __LINE__, Named(kind, "expected: " #condition)))

}  // namespace

WINE_TEST(jobs, callbacks_run_on_the_worker_thread_with_the_job_result) {
  JobsSession session;
  REQUIRE_TRUE(session.ready());
  for (Kind kind : kAllKinds) {
    EXPECT_KIND(kind, session.Start(kind) == 0);
    if (!session.AwaitCallback(kind)) {
      wine_check::Fail(__FILE__, __LINE__, Named(kind, "no callback"));
      continue;
    }
    EXPECT_KIND(kind, g_reports[kind].threadId != GetCurrentThreadId());
    EXPECT_KIND(kind, g_reports[kind].worker != nullptr);
    EXPECT_EQ(g_reports[kind].result, kNoDriveAnswers);
    EXPECT_KIND(kind, session.AwaitWorker(kind));
  }
}

WINE_TEST(jobs, flashing_every_drive_of_a_bus_without_drives_reports_success) {
  JobsSession session;
  REQUIRE_TRUE(session.ready() && session.library()->FlashActivityLightAllDrives);
  // The bus scan found no drive, so the job has nothing to read.
  EXPECT_EQ(session.library()->FlashActivityLightAllDrives(LUMBREL_CLASS_SCSIPORT, 0, 0, 1), 0u);
  REQUIRE_TRUE(session.AwaitCallback(kFlash));
  EXPECT_EQ(g_reports[kFlash].result, 0u);
  EXPECT_TRUE(session.AwaitWorker(kFlash));
}

WINE_TEST(jobs, a_second_job_of_a_kind_is_refused_until_the_first_has_called_back) {
  JobsSession session;
  REQUIRE_TRUE(session.ready());
  for (Kind kind : kAllKinds) EXPECT_KIND(kind, session.Start(kind) == 0);
  for (Kind kind : kAllKinds) REQUIRE_TRUE(session.AwaitCallback(kind));
  // All three are held in their callbacks: each kind is taken.
  for (Kind kind : kAllKinds) EXPECT_KIND(kind, session.Start(kind) == kJobRefused);
}

WINE_TEST(jobs, a_kind_is_free_again_once_its_worker_has_ended) {
  JobsSession session;
  REQUIRE_TRUE(session.ready());
  for (Kind kind : kAllKinds) {
    EXPECT_KIND(kind, session.Start(kind) == 0);
    EXPECT_KIND(kind, session.AwaitWorker(kind));
    EXPECT_KIND(kind, session.Start(kind) == 0);
  }
}

WINE_TEST(jobs, a_callback_that_starts_its_own_kind_is_refused) {
  JobsSession session;
  REQUIRE_TRUE(session.ready());
  g_restartFromCallback = true;
  for (Kind kind : kAllKinds) {
    EXPECT_KIND(kind, session.Start(kind) == 0);
    if (!session.AwaitCallback(kind)) {
      wine_check::Fail(__FILE__, __LINE__, Named(kind, "no callback"));
      continue;
    }
    EXPECT_EQ(g_reports[kind].restart, kJobRefused);
  }
}

WINE_TEST(jobs, a_job_for_no_adapter_is_refused_and_leaves_its_kind_free) {
  JobsSession session;
  REQUIRE_TRUE(session.ready());
  for (Kind kind : kAllKinds) {
    EXPECT_KIND(kind, session.Start(kind, LUMBREL_CLASS_SCSIPORT, 1) == kJobRefused);  // one port only
    EXPECT_KIND(kind, session.Start(kind, LUMBREL_CLASS_MEGARAID, 0) == kJobRefused);  // no port of the class
    EXPECT_KIND(kind, session.Start(kind) == 0);
  }
}

// ---- exit and unload while jobs run ------------------------------------------

double NowMs() {
  LARGE_INTEGER frequency, count;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&count);
  return static_cast<double>(count.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

bool IsLumbrelLoaded() { return wine_tests::IsLoaded("LUMBREL.dll"); }

WINE_TEST(jobs, freelibrary_right_after_a_start_leaves_the_dll_to_the_worker) {
  JobsSession session;
  REQUIRE_TRUE(session.ready());
  for (Kind kind : kAllKinds) {
    if (kind != kFlash) REQUIRE_TRUE(session.Reload());
    EXPECT_KIND(kind, session.Start(kind) == 0);
    session.library().Unload();  // most likely before the worker has run at all
    if (!session.AwaitCallback(kind)) {
      wine_check::Fail(__FILE__, __LINE__, Named(kind, "no callback"));
      continue;
    }
    EXPECT_EQ(g_reports[kind].result, kNoDriveAnswers);
    EXPECT_KIND(kind, IsLumbrelLoaded());  // the worker's reference, while its callback runs
    EXPECT_KIND(kind, session.AwaitWorker(kind));
    EXPECT_KIND(kind, !IsLumbrelLoaded());  // given back as the worker's last act
  }
}

WINE_TEST(jobs, freelibrary_during_a_flash_returns_at_once_and_leaves_it_running) {
  JobsSession session;
  REQUIRE_TRUE(session.ready());
  const HMODULE first = session.library().module();
  REQUIRE_TRUE(session.StartFlashLoop() == 0);
  const double before = NowMs();
  session.library().Unload();
  const double freeMs = NowMs() - before;
  std::printf("FreeLibrary during a flash took %.1f ms\n", freeMs);
  EXPECT_TRUE(freeMs < 100);  // it waits for nothing
  EXPECT_TRUE(IsLumbrelLoaded());
  REQUIRE_TRUE(session.library().Load());
  EXPECT_TRUE(session.library().module() == first);
  EXPECT_EQ(StartKind(kFlash), kJobRefused);  // the same marks: the flash runs on
  EXPECT_EQ(session.library()->FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, 7, 0), 0u);  // stops it
  session.library().Unload();
  REQUIRE_TRUE(session.AwaitCallback(kFlash));
  EXPECT_EQ(g_reports[kFlash].result, 0u);
  EXPECT_TRUE(session.AwaitWorker(kFlash));
  EXPECT_TRUE(!IsLumbrelLoaded());
}

// lumbrel-wine-exit.exe MODE CODE, timed from its "exiting" to the end of
// its process.
struct ChildExit {
  bool ran = false;
  DWORD code = 0;
  double exitMs = 0;
  std::string output;
};

ChildExit RunExitChild(const char* mode, DWORD code) {
  ChildExit child;
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherited, 0)) return child;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  std::string command(1, '"');
  command.append(wine_tests::ProgramDirectory()).append("lumbrel-wine-exit.exe\" ");
  command.append(mode).append(" ").append(std::to_string(code));
  PROCESS_INFORMATION process{};
  const bool created =
      CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  CloseHandle(writeEnd);
  double exiting = 0;
  char buffer[256];
  DWORD got = 0;
  while (created && ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    child.output.append(buffer, got);
    if (child.output.find("exiting\n") != std::string::npos) {
      exiting = NowMs();
      break;
    }
  }
  if (created) {
    const bool ended = WaitForSingleObject(process.hProcess, kWaitMs) == WAIT_OBJECT_0;
    child.exitMs = NowMs() - exiting;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) child.output.append(buffer, got);
    GetExitCodeProcess(process.hProcess, &child.code);
    child.ran = ended && exiting != 0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(readEnd);
  return child;
}

WINE_TEST(jobs, exitprocess_during_a_job_ends_the_process_at_once) {
  JobsSession session;  // the port that the children load over
  REQUIRE_TRUE(session.ready());
  session.library().Unload();
  const ChildExit baseline = RunExitChild("none", 7);
  REQUIRE_TRUE(baseline.ran);
  EXPECT_EQ(baseline.code, 7u);
  std::printf("exit without a job: %.0f ms\n", baseline.exitMs);
  // The bound is 1 s of real time beyond what this machine takes to end a
  // process without a job (under an emulated processor that alone can take
  // a while). Waiting for a worker at exit took 5 s or more.
  const double bound = baseline.exitMs + 1000;
  for (const char* mode : {"flash-loop", "flash", "format", "firmware"}) {
    const ChildExit child = RunExitChild(mode, 41);
    std::printf("exit during %s: %.0f ms, code %lu\n", mode, child.exitMs, child.code);
    const std::string what = std::string(mode) + ": ";
    if (!child.ran) wine_check::Fail(__FILE__, __LINE__, what + "did not reach its exit; output: " + child.output);
    if (child.code != 41) wine_check::Fail(__FILE__, __LINE__, what + "exit code " + std::to_string(child.code));
    if (child.exitMs > bound) wine_check::Fail(__FILE__, __LINE__, what + "the exit took too long");
    if (child.output.find("callback after exit") != std::string::npos) {
      wine_check::Fail(__FILE__, __LINE__, what + "a callback ran after the exit began");
    }
  }
}

// Two threads load, start, stop and free at once, each with its own
// reference: every job that started calls back exactly once, and the DLL
// and every worker are gone at the end.
constexpr int kCyclesPerThread = 100;
volatile LONG g_counted[kKinds];
void __stdcall CountFlash(std::uint32_t) { InterlockedIncrement(&g_counted[kFlash]); }
void __stdcall CountFormat(std::uint32_t) { InterlockedIncrement(&g_counted[kFormat]); }
void __stdcall CountFirmware(std::uint32_t) { InterlockedIncrement(&g_counted[kFirmware]); }

struct Cycler {
  int first;
  LONG started[kKinds];
};

DWORD WINAPI Cycles(LPVOID parameter) {
  auto* cycler = static_cast<Cycler*>(parameter);
  for (int i = cycler->first; i < cycler->first + kCyclesPerThread; ++i) {
    const HMODULE module = LoadLibraryA("LUMBREL.dll");
    if (module == nullptr) continue;
    LumbrelExports e{};
    LumbrelResolveExports(module, &e);
    e.SetActivityCallback(CountFlash);
    e.SetFormatCallback(CountFormat);
    e.SetFirmwareCallback(CountFirmware);
    const auto kind = static_cast<Kind>(i % kKinds);
    const std::uint32_t result =
        kind == kFlash     ? e.FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, i % 2 != 0 ? 7 : 1, 1)
        : kind == kFormat ? e.DeepFormatDrive(LUMBREL_CLASS_SCSIPORT, 0, 0, 1)
                          : e.UpdateDriveFWImage(LUMBREL_CLASS_SCSIPORT, 0, 0, 1, kImage, sizeof kImage);
    if (result == 0) ++cycler->started[kind];
    if (i % 4 == 1) e.FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, 7, 0);
    FreeLibrary(module);
  }
  return 0;
}

int ThreadCount() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  int count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

WINE_TEST(jobs, load_start_stop_and_free_from_two_threads_lose_no_callback) {
  JobsSession session;
  REQUIRE_TRUE(session.ready());
  session.library().Unload();
  const int threadsBefore = ThreadCount();
  for (auto& counted : g_counted) counted = 0;
  Cycler cyclers[2] = {{0, {}}, {1, {}}};
  HANDLE threads[2] = {CreateThread(nullptr, 0, Cycles, &cyclers[0], 0, nullptr),
                       CreateThread(nullptr, 0, Cycles, &cyclers[1], 0, nullptr)};
  REQUIRE_TRUE(threads[0] != nullptr && threads[1] != nullptr);
  EXPECT_TRUE(WaitForMultipleObjects(2, threads, TRUE, 10 * kWaitMs) == WAIT_OBJECT_0);
  CloseHandle(threads[0]);
  CloseHandle(threads[1]);
  // A flash of the adapter's id may run on, if its stop came before its
  // loop began: stopped again until the DLL goes.
  const double deadline = NowMs() + kWaitMs;
  while (IsLumbrelLoaded() && NowMs() < deadline) {
    if (const HMODULE module = LoadLibraryA("LUMBREL.dll")) {
      LumbrelExports e{};
      LumbrelResolveExports(module, &e);
      e.FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, 7, 0);
      FreeLibrary(module);
    }
    Sleep(10);
  }
  EXPECT_TRUE(!IsLumbrelLoaded());
  LONG started = 0;
  for (Kind kind : kAllKinds) {
    EXPECT_EQ(g_counted[kind], cyclers[0].started[kind] + cyclers[1].started[kind]);
    started += cyclers[0].started[kind] + cyclers[1].started[kind];
  }
  std::printf("%ld jobs started in %d cycles\n", started, 2 * kCyclesPerThread);
  EXPECT_TRUE(started >= kKinds);
  while (ThreadCount() > threadsBefore && NowMs() < deadline) Sleep(10);
  EXPECT_EQ(ThreadCount(), threadsBefore);
}
