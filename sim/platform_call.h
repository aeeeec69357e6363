// One call into the simulated platform (a Win32 function, a registry call,
// an I2C library call), always in the same order:
//
//   1. the current machine's lock, held until the call returns;
//   2. the call's trace record, with the call's own fields;
//   3. the call's argument checks (handles, null pointers, sizes);
//   4. the fault rules (Fault), for the calls that rules can name;
//   5. the work, and the record finished with the result (Finish, Fail).
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/win32.h"
#include "sim/simulator.h"

namespace lumbrel::sim {

class PlatformCall {
 public:
  explicit PlatformCall(CallName name)
      : machine_(CurrentMachine()), lock_(machine_.mutex()), trace_(machine_.trace(), name.text()), name_(name) {
    machine_.ApplyChangesDue();
  }
  PlatformCall(const PlatformCall&) = delete;
  PlatformCall& operator=(const PlatformCall&) = delete;

  Machine& machine() { return machine_; }
  TraceRecord& trace() { return trace_; }

  // The failure that a fault rule injects into this call, marked in the
  // record; none when no rule fires.
  InjectedFailure Fault(CallAttributes attributes = {}) {
    const auto fault = machine_.faults().Check(name_, attributes);
    if (fault) trace_.Injected();
    return fault;
  }

  // Completes the record with `result` (0 or the call's error) and returns it.
  std::uint32_t Finish(std::uint32_t result) {
    trace_.Finish(result);
    return result;
  }

  // A kernel call that fails: the record gets `error`, GetLastError reports
  // it, and the call returns `value`.
  template <typename T>
  T Fail(DWORD error, T value) {
    Finish(error);
    SetLastError(error);
    return value;
  }

 private:
  Machine& machine_;
  std::lock_guard<SimRecursiveMutex> lock_;
  TraceRecord trace_;
  CallName name_;
};

}  // namespace lumbrel::sim
