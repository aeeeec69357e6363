#include "api/host_loader.h"

#include <cstdint>
#include <mutex>
#include <thread>

#include "api/module_state.h"
#include "platform/runtime.h"

namespace lumbrel {
namespace {

// The loader's lock and the module's references, as the Windows loader
// keeps them: attach and detach run under the lock.
std::mutex g_loaderLock;
std::uint32_t g_callerReferences = 0;  // taken by LoadModule
std::uint32_t g_workerReferences = 0;  // taken by PinLibrary
int g_moduleToken;                     // what a worker's reference designates

// Under the lock: the last reference gone, the module is unloaded.
void UnloadIfUnreferenced() {
  if (g_callerReferences + g_workerReferences != 0 || !IsModuleLoaded()) return;
  OnProcessDetach();
  DestroyModuleState();
}

}  // namespace

namespace platform {

void* PinLibrary() {
  const std::lock_guard lock(g_loaderLock);
  ++g_workerReferences;
  return &g_moduleToken;
}

void UnpinLibrary(void* pin) {
  if (pin == nullptr) return;
  const std::lock_guard lock(g_loaderLock);
  --g_workerReferences;
  UnloadIfUnreferenced();
}

// The worker returns after this, touching nothing of the module's: it may
// just have been unloaded.
void EndPinnedWorker(void* pin, std::uint32_t) { UnpinLibrary(pin); }

}  // namespace platform

namespace host {

void LoadModule() {
  const std::lock_guard lock(g_loaderLock);
  if (g_callerReferences++ + g_workerReferences != 0) return;
  ConstructModuleState();
  OnProcessAttach();
}

void FreeModule() {
  const std::lock_guard lock(g_loaderLock);
  if (g_callerReferences == 0) return;
  --g_callerReferences;
  UnloadIfUnreferenced();
}

void UnloadModule() {
  {
    const std::lock_guard lock(g_loaderLock);
    g_callerReferences = 0;
    UnloadIfUnreferenced();
  }
  // The workers end on their own; a flash is told to stop, again each turn,
  // since a stop that comes before its loop has begun is lost.
  for (;;) {
    {
      const std::lock_guard lock(g_loaderLock);
      if (!IsModuleLoaded()) return;
      Module().flashRunning.store(0);
    }
    std::this_thread::yield();
  }
}

}  // namespace host
}  // namespace lumbrel
