#include "job_reports.h"

#include <atomic>
#include <vector>

#include "sync.h"

namespace lumbrel::diag {

struct JobReports::Kind {
  Mutex mutex;
  Condition reported;
  std::uint64_t started = 0;
  std::vector<JobReport> reports;  // one for each job that called back, in order
};

namespace {

std::atomic<Library::ClockFunction> reportClock{nullptr};

std::uint64_t ReadClock() {
  const Library::ClockFunction clock = reportClock.load();
  return clock != nullptr ? clock() : 0;
}

}  // namespace

JobReports& JobReports::Instance() {
  static JobReports reports;
  return reports;
}

JobReports::Kind& JobReports::Of(JobKind kind) const {
  static Kind kinds[3];
  return kinds[static_cast<int>(kind)];
}

template <JobKind kind>
void LUMBREL_CALL JobReports::Callback(std::uint32_t result) {
  const JobReport report{result, ReadClock()};
  Kind& record = Instance().Of(kind);
  {
    Locked lock(record.mutex);
    record.reports.push_back(report);
  }
  record.reported.NotifyAll();
}

void JobReports::Register(const ExportTable& exports, Library::ClockFunction clock) {
  reportClock.store(clock);
  if (exports.SetActivityCallback != nullptr) exports.SetActivityCallback(&Callback<JobKind::Flash>);
  if (exports.SetFormatCallback != nullptr) exports.SetFormatCallback(&Callback<JobKind::Format>);
  if (exports.SetFirmwareCallback != nullptr) exports.SetFirmwareCallback(&Callback<JobKind::Firmware>);
}

std::uint64_t JobReports::Started(JobKind kind) {
  Kind& record = Of(kind);
  Locked lock(record.mutex);
  return ++record.started;
}

std::uint64_t JobReports::LastStarted(JobKind kind) const {
  Kind& record = Of(kind);
  Locked lock(record.mutex);
  return record.started;
}

bool JobReports::AllReported(JobKind kind) const {
  Kind& record = Of(kind);
  Locked lock(record.mutex);
  return record.reports.size() >= record.started;
}

std::optional<JobReport> JobReports::WaitFor(JobKind kind, std::uint64_t number, std::chrono::milliseconds timeout) {
  Kind& record = Of(kind);
  Locked lock(record.mutex);
  if (!record.reported.WaitFor(record.mutex, timeout, [&] { return record.reports.size() >= number; })) {
    return std::nullopt;
  }
  return record.reports[number - 1];
}

}  // namespace lumbrel::diag
