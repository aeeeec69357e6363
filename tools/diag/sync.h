// A mutex, a condition to wait on and a real-time pause for the tool's own
// threads. The Windows toolchain's C++ library has no std::mutex, so the
// Windows build uses the system's SRW lock and condition variable.
#pragma once

#include <chrono>
#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#else
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace lumbrel::diag {

class Mutex {
 public:
#if defined(_WIN32)
  void lock() { AcquireSRWLockExclusive(&lock_); }
  void unlock() { ReleaseSRWLockExclusive(&lock_); }
  SRWLOCK* native() { return &lock_; }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
#else
  void lock() { lock_.lock(); }
  void unlock() { lock_.unlock(); }
  std::mutex& native() { return lock_; }

 private:
  std::mutex lock_;
#endif
};

class Locked {
 public:
  explicit Locked(Mutex& mutex) : mutex_(mutex) { mutex_.lock(); }
  ~Locked() { mutex_.unlock(); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  Mutex& mutex_;
};

class Condition {
 public:
  void NotifyAll() {
#if defined(_WIN32)
    WakeAllConditionVariable(&condition_);
#else
    condition_.notify_all();
#endif
  }
  // Waits, with `mutex` locked by the caller, until `done()` holds or the
  // timeout passes; whether it holds.
  template <typename Predicate>
  bool WaitFor(Mutex& mutex, std::chrono::milliseconds timeout, Predicate done) {
#if defined(_WIN32)
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout.count());
    while (!done()) {
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline) return false;
      SleepConditionVariableSRW(&condition_, mutex.native(), static_cast<DWORD>(deadline - now), 0);
    }
    return true;
#else
    std::unique_lock<std::mutex> lock(mutex.native(), std::adopt_lock);
    const bool result = condition_.wait_for(lock, timeout, done);
    lock.release();  // the caller keeps the mutex
    return result;
#endif
  }

 private:
#if defined(_WIN32)
  CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
#else
  std::condition_variable condition_;
#endif
};

}  // namespace lumbrel::diag
