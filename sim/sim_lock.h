// The simulator's locks. The standard ones where the C++ library has them;
// in MinGW's win32 thread model, which has no std::mutex, a critical section
// (the Windows build of the simulator runs in that model, like the library).
#pragma once

#if defined(_GLIBCXX_HAS_GTHREADS) || !defined(__GLIBCXX__)
#include <mutex>
#else
#include <mutex>  // std::lock_guard

#include "platform/win32.h"
#endif

namespace lumbrel::sim {

#if defined(_GLIBCXX_HAS_GTHREADS) || !defined(__GLIBCXX__)
using SimMutex = std::mutex;
using SimRecursiveMutex = std::recursive_mutex;
#else
// A critical section is re-entrant, so it serves as both kinds.
class SimRecursiveMutex {
 public:
  SimRecursiveMutex() { InitializeCriticalSection(&section_); }
  ~SimRecursiveMutex() { DeleteCriticalSection(&section_); }
  SimRecursiveMutex(const SimRecursiveMutex&) = delete;
  SimRecursiveMutex& operator=(const SimRecursiveMutex&) = delete;
  void lock() { EnterCriticalSection(&section_); }
  void unlock() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};
using SimMutex = SimRecursiveMutex;
#endif

}  // namespace lumbrel::sim
