// A thread started through CreateThread on the simulated platform.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "sim/virtual_clock.h"

namespace lumbrel::sim {

class SimThread {
 public:
  using Routine = std::uint32_t (*)(void*);

  // The thread's virtual time begins at `startElapsed`, its creator's time.
  SimThread(Routine routine, void* parameter, bool suspended, std::uint64_t startElapsed);
  ~SimThread();
  SimThread(const SimThread&) = delete;
  SimThread& operator=(const SimThread&) = delete;

  // Lets a suspended thread run; the previous suspend count (0 or 1).
  std::uint32_t Resume();
  // Waits for the routine to return. A thread never resumed is abandoned
  // without running its routine.
  void Join();
  bool finished() const { return finished_.load(); }
  std::uint32_t exitCode() const { return exitCode_.load(); }
  // The virtual time the thread has reached (when it finished: its end).
  std::uint64_t elapsed() const { return timeline_.load(); }

 private:
  void Run(Routine routine, void* parameter);

  std::mutex mutex_;
  std::condition_variable resumed_;
  bool suspended_;
  bool abandoned_ = false;
  std::atomic<bool> finished_{false};
  std::atomic<std::uint32_t> exitCode_{0};
  VirtualClock::Timeline timeline_;
  std::thread thread_;
};

}  // namespace lumbrel::sim
