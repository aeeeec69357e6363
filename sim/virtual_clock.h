// Virtual time: it advances only when the platform is asked to sleep (or a
// simulated device takes time), so a 30-second behaviour runs in
// microseconds and every run is repeatable.
//
// Each thread that the simulated platform starts keeps a timeline of its
// own, which begins at its creator's time: a job's pauses move only its own
// time, so its timing stays exact whatever runs beside it, and the caller's
// waits do not shorten it. Threads that the platform did not start (the
// test's or the tool's own) share the machine's main timeline. A thread
// that waits for another catches up with the time that one reached.
#pragma once

#include <atomic>
#include <cstdint>

namespace lumbrel::sim {

class VirtualClock {
 public:
  using Timeline = std::atomic<std::uint64_t>;  // elapsed milliseconds

  VirtualClock(std::uint32_t tickStart, std::uint32_t calendarStart)
      : tickStart_(tickStart), calendarStart_(calendarStart) {}

  // Milliseconds since the system started, wrapping at 32 bits like GetTickCount.
  std::uint32_t TickCount() const { return tickStart_ + static_cast<std::uint32_t>(ElapsedMilliseconds()); }
  // Seconds of calendar time, like time().
  std::uint32_t CalendarTime() const {
    return calendarStart_ + static_cast<std::uint32_t>(ElapsedMilliseconds() / 1000);
  }
  // The calling thread's time.
  std::uint64_t ElapsedMilliseconds() const { return Current().load(); }

  // (A drive without latency advances by nothing for every command: that
  // costs no atomic update.)
  void Advance(std::uint64_t milliseconds) {
    if (milliseconds != 0) Current().fetch_add(milliseconds);
  }
  // Moves the calling thread's time forward to `elapsed` when it is behind.
  void CatchUp(std::uint64_t elapsed) {
    Timeline& timeline = Current();
    std::uint64_t now = timeline.load();
    while (now < elapsed && !timeline.compare_exchange_weak(now, elapsed)) {
    }
  }

  // In real-time mode every Sleep also waits its time out in real time, so
  // the library's pauses last as long as on a real machine.
  void SetRealTime(bool realTime) { realTime_ = realTime; }
  bool RealTime() const { return realTime_.load(); }

  // Gives the calling thread its own timeline, for as long as it runs
  // (null: back to the main timeline).
  static void BindThread(Timeline* timeline) { boundTimeline_ = timeline; }

 private:
  Timeline& Current() const { return boundTimeline_ != nullptr ? *boundTimeline_ : main_; }

  std::uint32_t tickStart_;
  std::uint32_t calendarStart_;
  mutable Timeline main_{0};
  std::atomic<bool> realTime_{false};
  static inline thread_local Timeline* boundTimeline_ = nullptr;
};

}  // namespace lumbrel::sim
