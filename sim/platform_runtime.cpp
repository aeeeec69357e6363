// The process facts of the host build, served by the current machine.
#include <cstdlib>
#include <mutex>

#include "platform/runtime.h"
#include "sim/simulator.h"

namespace lumbrel::platform {

std::uint32_t ProcessAddress(const void* buffer) { return sim::CurrentMachine().AddressOf(buffer); }

std::uint32_t CalendarTime() { return sim::CurrentMachine().clock().CalendarTime(); }

void* AllocateMemory(std::size_t size) {
  sim::Machine& machine = sim::CurrentMachine();
  const std::lock_guard lock(machine.mutex());  // fault checks are counted under it
  if (machine.faults().Check("allocate", {{"size", static_cast<std::uint64_t>(size)}})) return nullptr;
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block != nullptr) machine.CountAllocation(+1);
  return block;
}

void ReleaseMemory(void* block) {
  if (block == nullptr) return;
  sim::CurrentMachine().CountAllocation(-1);
  std::free(block);
}

}  // namespace lumbrel::platform
