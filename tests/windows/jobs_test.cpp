// The background jobs on real Windows threads: the flash, format and
// firmware workers of the shipping DLL, on one aic78xx port. No drive
// answers under Wine, so each job ends at its first command and reports
// that failure through its callback.
//
// The callbacks record what they see and then hold their worker on an
// event until the case lets it go, so a job stays in progress for exactly
// as long as a case needs it to.
#include <windows.h>

#include <cstdint>
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

WINE_TEST(jobs, freelibrary_during_a_format_job_unmaps_the_dll_when_its_worker_ends) {
  JobsSession session;
  REQUIRE_TRUE(session.ready());
  REQUIRE_TRUE(session.Start(kFormat) == 0);
  REQUIRE_TRUE(session.AwaitCallback(kFormat));
  session.library().Unload();
  // The worker's reference keeps the DLL mapped while its callback runs.
  EXPECT_TRUE(wine_tests::IsLoaded("LUMBREL.dll"));
  // Returning from the callback runs the worker's last code in the DLL.
  EXPECT_TRUE(session.AwaitWorker(kFormat));
  EXPECT_TRUE(!wine_tests::IsLoaded("LUMBREL.dll"));
}
