#include "api/host_loader.h"

#include "api/module_state.h"

namespace lumbrel::host {

void LoadModule() {
  if (IsModuleLoaded()) return;
  ConstructModuleState();
  OnProcessAttach();
}

void UnloadModule() {
  if (!IsModuleLoaded()) return;
  OnProcessDetach();
  DestroyModuleState();
}

}  // namespace lumbrel::host
