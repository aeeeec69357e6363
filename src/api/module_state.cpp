#include "api/module_state.h"

#include <new>

namespace lumbrel {
namespace {

// Static storage, constructed and destroyed explicitly so that the order of
// the lifecycle stays visible and a host test can load the module again.
alignas(ModuleState) unsigned char g_storage[sizeof(ModuleState)];
ModuleState* g_module = nullptr;

}  // namespace

ModuleState& Module() { return *g_module; }

bool IsModuleLoaded() { return g_module != nullptr; }

void ConstructModuleState() {
  if (g_module == nullptr) g_module = new (g_storage) ModuleState();
}

void OnProcessAttach() {}

void OnProcessDetach() {
  StopFlashWorkerForUnload();
  g_module->adapterList.FreeAdapterList();
  g_module->driveLetterMap.ForgetRebuild();
}

void DestroyModuleState() {
  if (g_module != nullptr) {
    g_module->~ModuleState();
    g_module = nullptr;
  }
}

}  // namespace lumbrel
