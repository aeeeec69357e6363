#include "api/host_loader.h"

#include <atomic>
#include <thread>

#include "api/module_state.h"
#include "platform/runtime.h"

namespace lumbrel {
namespace {

// References that workers hold on the emulated module. As on Windows, the
// module's detach waits until the last one is given back.
std::atomic<std::uint32_t> g_pins{0};
int g_moduleToken;  // what a pin designates

}  // namespace

namespace platform {

void* PinLibrary() {
  g_pins.fetch_add(1);
  return &g_moduleToken;
}

void UnpinLibrary(void* pin) {
  if (pin != nullptr) g_pins.fetch_sub(1);
}

void EndPinnedWorker(void* pin, std::uint32_t) { UnpinLibrary(pin); }

}  // namespace platform

namespace host {

void LoadModule() {
  if (IsModuleLoaded()) return;
  ConstructModuleState();
  OnProcessAttach();
}

void UnloadModule() {
  if (!IsModuleLoaded()) return;
  // FreeLibrary of a module that workers still hold only drops the
  // caller's reference; the unload happens when the last worker lets go.
  while (g_pins.load() != 0) std::this_thread::yield();
  OnProcessDetach();
  DestroyModuleState();
}

}  // namespace host
}  // namespace lumbrel
