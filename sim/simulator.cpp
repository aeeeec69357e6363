#include "sim/simulator.h"

#include <atomic>
#include "sim/sim_lock.h"

namespace lumbrel::sim {
namespace {

SimMutex g_installMutex;
std::unique_ptr<Machine> g_owned;
std::atomic<Machine*> g_current{nullptr};
std::unique_ptr<Machine> (*g_source)() = nullptr;

}  // namespace

Machine& CurrentMachine() {
  if (Machine* machine = g_current.load()) return *machine;
  std::lock_guard lock(g_installMutex);
  if (g_owned == nullptr) {
    g_owned = g_source != nullptr ? g_source() : std::make_unique<Machine>();
    g_current.store(g_owned.get());
  }
  return *g_owned;
}

void SetMachineSource(std::unique_ptr<Machine> (*source)()) {
  std::lock_guard lock(g_installMutex);
  g_source = source;
}

void InstallMachine(std::unique_ptr<Machine> machine) {
  std::unique_ptr<Machine> previous;
  {
    std::lock_guard lock(g_installMutex);
    previous = std::move(g_owned);
    g_owned = std::move(machine);
    g_current.store(g_owned.get());
  }
  previous.reset();
}

}  // namespace lumbrel::sim
