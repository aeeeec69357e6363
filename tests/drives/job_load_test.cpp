// The job start protocol under load: many threads starting jobs of every
// kind at once, beside exports on the caller's thread.
#include <array>
#include <atomic>
#include <iterator>
#include <thread>

#include "api/jobs.h"
#include "drives/scripted_drive.h"
#include "lumbrel.h"
#include "result_codes.h"

namespace lumbrel::test {
namespace {

constexpr int kThreads = 16;
constexpr int kStartsPerThread = 1000;
constexpr std::uint32_t kAbsentTarget = 4;  // every job of it ends at its first command

constexpr JobKind kKinds[] = {JobKind::Flash, JobKind::Format, JobKind::Firmware};

// Per kind: the starts that returned 0, the callbacks, and the times a start
// succeeded while an earlier job of its kind had not called back yet.
struct KindCounts {
  std::atomic<std::uint32_t> started{0};
  std::atomic<std::uint32_t> calledBack{0};
  std::atomic<std::uint32_t> overlaps{0};
  std::atomic<std::uint32_t> refused{0};
  std::atomic<std::uint32_t> otherResults{0};
};
std::array<KindCounts, std::size(kKinds)> g_counts;
KindCounts& CountsOf(JobKind kind) { return g_counts[static_cast<std::size_t>(kind)]; }

void LUMBREL_CALL TallyFlashCallback(std::uint32_t) { ++CountsOf(JobKind::Flash).calledBack; }
void LUMBREL_CALL TallyFormatCallback(std::uint32_t) { ++CountsOf(JobKind::Format).calledBack; }
void LUMBREL_CALL TallyFirmwareCallback(std::uint32_t) { ++CountsOf(JobKind::Firmware).calledBack; }

const std::uint8_t kImage[512] = {};

std::uint32_t Start(JobKind kind) {
  switch (kind) {
    case JobKind::Flash: return FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, 0, 0, kAbsentTarget, 1);
    case JobKind::Format: return DeepFormatDrive(LUMBREL_CLASS_SCSIPORT, 0, 0, kAbsentTarget);
    default: return UpdateDriveFWImage(LUMBREL_CLASS_SCSIPORT, 0, 0, kAbsentTarget, kImage, sizeof kImage);
  }
}

bool Marked(JobKind kind) { return Module().jobs.of(kind).load() != 0; }

// One start, and what it shows: a job can only start once every earlier job
// of its kind has called back, since its mark clears after the callback. A
// refused start waits for the job in its way to end, so that the threads
// keep starting jobs rather than only meeting refusals.
void StartAndCheck(JobKind kind) {
  KindCounts& counts = CountsOf(kind);
  const std::uint32_t before = counts.calledBack.load();
  const std::uint32_t result = Start(kind);
  if (result == 0) {
    const std::uint32_t earlier = counts.started.fetch_add(1);
    if (counts.calledBack.load() < earlier) ++counts.overlaps;
  } else if (result == kJobExistsOrNoAdapter) {
    ++counts.refused;
    while (counts.calledBack.load() == before && Marked(kind)) std::this_thread::yield();
  } else {
    ++counts.otherResults;
  }
}

class JobLoadTest : public DriveTest {
 protected:
  void SetUp() override {
    LoadDrives({{3, &drive_}});
    machine().trace().Capture(false);
    for (KindCounts& counts : g_counts) {
      counts.started = counts.calledBack = counts.overlaps = counts.refused = counts.otherResults = 0;
    }
    SetActivityCallback(TallyFlashCallback);
    SetFormatCallback(TallyFormatCallback);
    SetFirmwareCallback(TallyFirmwareCallback);
    ASSERT_EQ(CountAdapterUnits(&unitsAtLoad_, nullptr), 0u);
  }

  // Waits until every job has called back and its mark is clear.
  void WaitForJobs() {
    machine().WaitForThreads();
    while (Module().jobs.flash || Module().jobs.format || Module().jobs.firmware) std::this_thread::yield();
  }

  ScriptedTarget drive_;
  std::uint32_t unitsAtLoad_ = 0;
};

TEST_F(JobLoadTest, SixteenThreadsStartingEveryKindKeepOneJobOfAKindAndOneCallbackPerJob) {
  std::atomic<bool> go{false};
  std::vector<std::thread> starters;
  for (int t = 0; t < kThreads; ++t) {
    starters.emplace_back([&go, t] {
      while (!go.load()) std::this_thread::yield();
      for (int i = 0; i < kStartsPerThread; ++i) StartAndCheck(kKinds[(t + i) % std::size(kKinds)]);
    });
  }
  go = true;
  // The caller's own exports run beside the starts and the jobs.
  std::vector<DiskConfigRecord> records(64);
  for (int report = 0; report < 50; ++report) {
    std::uint32_t units = 0;
    EXPECT_EQ(CountAdapterUnits(&units, nullptr), 0u);
    EXPECT_EQ(units, unitsAtLoad_) << "the jobs' starts do not disturb the caller's count";
    EXPECT_EQ(GetAllDiskConfigInfo(records.data(), static_cast<std::uint32_t>(records.size())), 0u);
  }
  for (std::thread& starter : starters) starter.join();
  WaitForJobs();

  std::uint32_t starts = 0;
  for (JobKind kind : kKinds) {
    const KindCounts& counts = CountsOf(kind);
    SCOPED_TRACE("job kind " + std::to_string(static_cast<int>(kind)));
    EXPECT_GT(counts.started.load(), 0u);
    EXPECT_EQ(counts.calledBack.load(), counts.started.load()) << "every started job calls back exactly once";
    EXPECT_EQ(counts.overlaps.load(), 0u) << "a second job of a kind started before the first called back";
    EXPECT_EQ(counts.otherResults.load(), 0u) << "a start gives 0 or the job-exists result";
    starts += counts.started + counts.refused;
  }
  EXPECT_EQ(starts, static_cast<std::uint32_t>(kThreads * kStartsPerThread));

  // The marks ended clear: one more start of each kind succeeds.
  for (JobKind kind : kKinds) EXPECT_EQ(Start(kind), 0u) << "kind " << static_cast<int>(kind);
  WaitForJobs();
}

}  // namespace
}  // namespace lumbrel::test
