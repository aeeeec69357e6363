// The process facts of a real 32-bit Windows process.
#include "platform/runtime.h"

#include <cstdlib>
#include <ctime>

namespace lumbrel::platform {

static_assert(sizeof(void*) == 4, "LUMBREL.dll is a 32-bit library: request blocks carry 32-bit addresses");

std::uint32_t ProcessAddress(const void* buffer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer));
}

std::uint32_t CalendarTime() { return static_cast<std::uint32_t>(std::time(nullptr)); }

void* AllocateMemory(std::size_t size) { return std::malloc(size); }

void ReleaseMemory(void* block) { std::free(block); }

}  // namespace lumbrel::platform
