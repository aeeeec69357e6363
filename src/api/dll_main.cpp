// The Windows entry point of LUMBREL.dll.
#include "api/module_state.h"
#include "platform/win32.h"

namespace {

// A static object, so that the process-wide state is constructed before the
// entry point sees the process-attach notification and destroyed after it
// has handled process detach, as the C runtime orders static objects.
struct ModuleLifetime {
  ModuleLifetime() { lumbrel::ConstructModuleState(); }
  ~ModuleLifetime() { lumbrel::DestroyModuleState(); }
};
ModuleLifetime g_moduleLifetime;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      lumbrel::OnProcessAttach();
      break;
    case DLL_PROCESS_DETACH:
      lumbrel::OnProcessDetach();
      break;
    default:  // thread attach and detach: nothing to do
      break;
  }
  return TRUE;
}
