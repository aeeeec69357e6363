// The process facts of a real 32-bit Windows process.
#include "platform/runtime.h"

#include <cstdlib>
#include <ctime>

#include "platform/win32.h"

namespace lumbrel::platform {

static_assert(sizeof(void*) == 4, "LUMBREL.dll is a 32-bit library: request blocks carry 32-bit addresses");

std::uint32_t ProcessAddress(const void* buffer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer));
}

std::uint32_t CalendarTime() { return static_cast<std::uint32_t>(std::time(nullptr)); }

void* AllocateMemory(std::size_t size) { return std::malloc(size); }

void ReleaseMemory(void* block) { std::free(block); }

void* PinLibrary() {
  HMODULE module = nullptr;
  // Any address inside the DLL names it; the flag takes a reference.
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&PinLibrary), &module)) {
    return nullptr;
  }
  return module;
}

void UnpinLibrary(void* pin) {
  if (pin != nullptr) FreeLibrary(static_cast<HMODULE>(pin));
}

void EndPinnedWorker(void* pin, std::uint32_t exitCode) {
  if (pin != nullptr) FreeLibraryAndExitThread(static_cast<HMODULE>(pin), exitCode);
  ExitThread(exitCode);
}

}  // namespace lumbrel::platform
