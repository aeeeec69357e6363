// Virtual time: it advances only when the platform is asked to sleep, so a
// 30-second behaviour runs in microseconds and every run is repeatable.
#pragma once

#include <atomic>
#include <cstdint>

namespace lumbrel::sim {

class VirtualClock {
 public:
  VirtualClock(std::uint32_t tickStart, std::uint32_t calendarStart)
      : tickStart_(tickStart), calendarStart_(calendarStart) {}

  // Milliseconds since the system started, wrapping at 32 bits like GetTickCount.
  std::uint32_t TickCount() const { return tickStart_ + static_cast<std::uint32_t>(elapsed_.load()); }
  // Seconds of calendar time, like time().
  std::uint32_t CalendarTime() const { return calendarStart_ + static_cast<std::uint32_t>(elapsed_.load() / 1000); }
  std::uint64_t ElapsedMilliseconds() const { return elapsed_.load(); }

  void Advance(std::uint64_t milliseconds) { elapsed_.fetch_add(milliseconds); }

 private:
  std::uint32_t tickStart_;
  std::uint32_t calendarStart_;
  std::atomic<std::uint64_t> elapsed_{0};
};

}  // namespace lumbrel::sim
