// A lock for the few tables that the caller's thread and the job workers
// share (the SCSI address cache, an adapter's bus records). SRWLOCK on
// Windows, std::mutex on the host.
#pragma once

#if defined(_WIN32)
#include "platform/win32.h"
#else
#include <mutex>
#endif

namespace lumbrel::platform {

class Lock {
 public:
  Lock() = default;
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

#if defined(_WIN32)
  void lock() { AcquireSRWLockExclusive(&lock_); }
  void unlock() { ReleaseSRWLockExclusive(&lock_); }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
#else
  void lock() { lock_.lock(); }
  void unlock() { lock_.unlock(); }

 private:
  std::mutex lock_;
#endif
};

// A lock that its holder may take again: CRITICAL_SECTION on Windows,
// std::recursive_mutex on the host.
class RecursiveLock {
 public:
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

#if defined(_WIN32)
  RecursiveLock() { InitializeCriticalSection(&section_); }
  ~RecursiveLock() { DeleteCriticalSection(&section_); }
  void lock() { EnterCriticalSection(&section_); }
  void unlock() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
#else
  RecursiveLock() = default;
  void lock() { lock_.lock(); }
  void unlock() { lock_.unlock(); }

 private:
  std::recursive_mutex lock_;
#endif
};

// Holds a Lock for the enclosing scope.
class Locked {
 public:
  explicit Locked(Lock& lock) : lock_(lock) { lock_.lock(); }
  ~Locked() { lock_.unlock(); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  Lock& lock_;
};

}  // namespace lumbrel::platform
