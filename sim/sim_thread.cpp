#include "sim/sim_thread.h"

namespace lumbrel::sim {

SimThread::SimThread(Routine routine, void* parameter, bool suspended, std::uint64_t startElapsed)
    : suspended_(suspended), timeline_(startElapsed) {
  thread_ = std::thread([this, routine, parameter] { Run(routine, parameter); });
}

SimThread::~SimThread() { Join(); }

void SimThread::Run(Routine routine, void* parameter) {
  {
    std::unique_lock lock(mutex_);
    resumed_.wait(lock, [this] { return !suspended_ || abandoned_; });
    if (abandoned_) {
      finished_ = true;
      return;
    }
  }
  VirtualClock::BindThread(&timeline_);
  exitCode_ = routine(parameter);
  VirtualClock::BindThread(nullptr);
  finished_ = true;
}

std::uint32_t SimThread::Resume() {
  std::lock_guard lock(mutex_);
  const std::uint32_t previous = suspended_ ? 1 : 0;
  suspended_ = false;
  resumed_.notify_all();
  return previous;
}

void SimThread::Join() {
  {
    std::lock_guard lock(mutex_);
    if (suspended_) {
      abandoned_ = true;
      resumed_.notify_all();
    }
  }
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();  // a routine that ends its own machine cannot wait for itself
  } else {
    thread_.join();
  }
}

}  // namespace lumbrel::sim
