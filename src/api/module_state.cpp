#include "api/module_state.h"

#include <atomic>
#include <new>

namespace lumbrel {
namespace {

// Static storage, constructed and destroyed explicitly so that the order of
// the lifecycle stays visible and a host test can load the module again.
alignas(ModuleState) unsigned char g_storage[sizeof(ModuleState)];
// Atomic: in the host build the last worker unloads the module on its own
// thread while a test thread may ask whether it is loaded.
std::atomic<ModuleState*> g_module{nullptr};

}  // namespace

ModuleState& Module() { return *g_module.load(std::memory_order_acquire); }

bool IsModuleLoaded() { return g_module.load(std::memory_order_acquire) != nullptr; }

void ConstructModuleState() {
  if (g_module.load() == nullptr) g_module.store(new (g_storage) ModuleState(), std::memory_order_release);
}

void OnProcessAttach() {}

void OnProcessDetach() {
  // No worker is left by now (each holds the module until its end), so
  // the flash loop's stop is only a store: nothing here waits.
  ModuleState& module = Module();
  module.flashRunning.store(0);
  module.adapterList.FreeAdapterList();
  module.driveLetterMap.ForgetRebuild();
}

void DestroyModuleState() {
  if (ModuleState* module = g_module.load()) {
    module->~ModuleState();
    g_module.store(nullptr, std::memory_order_release);
  }
}

}  // namespace lumbrel
