// What the library's job callbacks report. The callbacks carry nothing but
// the result and run on the job's worker thread, so their reports go to one
// process-wide record per kind of job, where the command that started the
// job waits for them.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "library.h"

namespace lumbrel::diag {

struct JobReport {
  std::uint32_t result = 0;
  std::uint64_t atMilliseconds = 0;  // the library's clock when the callback ran
};

class JobReports {
 public:
  static JobReports& Instance();

  // Registers the three callbacks with the library; each reads `clock`.
  void Register(const ExportTable& exports, Library::ClockFunction clock);

  // Records a job of the kind that started; its number among them (1, 2, ...).
  std::uint64_t Started(JobKind kind);
  // The number of the last job that started, 0 when none has.
  std::uint64_t LastStarted(JobKind kind) const;
  // Whether every job of the kind that started has called back.
  bool AllReported(JobKind kind) const;

  // The callback of job `number`, waiting for it at most `timeout`; none
  // when it has not called back by then.
  std::optional<JobReport> WaitFor(JobKind kind, std::uint64_t number, std::chrono::milliseconds timeout);

 private:
  struct Kind;
  Kind& Of(JobKind kind) const;
  template <JobKind kind>
  static void LUMBREL_CALL Callback(std::uint32_t result);
};

}  // namespace lumbrel::diag
