// The Windows entry point of LUMBREL.dll.
//
// It never waits: it runs under the loader lock, which a thread being
// created or ending needs too. No worker is ever left to wait for, as each
// holds a reference to the module until its last act (api/jobs.h), so the
// detach of a FreeLibrary only frees what the module built.
//
// Thread notifications are left on, though they do nothing here:
// DisableThreadLibraryCalls would also switch off the module's TLS
// callback, through which the C++ runtime frees each thread's copy of the
// thread-local command bindings when the thread ends. Switching them off
// would not keep thread start-up off the loader lock either: every other
// DLL of the process still gets them.
#include "api/module_state.h"
#include "platform/win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      // The process-wide state is built first: the port table reads the
      // registry now, during the load.
      lumbrel::ConstructModuleState();
      lumbrel::OnProcessAttach();
      break;
    case DLL_PROCESS_DETACH:
      // A non-null `reserved` is the process's exit: its other threads have
      // been ended wherever they were, perhaps inside the module with a
      // lock held or a list half rewritten. Nothing is touched then; the
      // process's memory and handles go with it.
      if (reserved != nullptr) break;
      lumbrel::OnProcessDetach();
      lumbrel::DestroyModuleState();
      break;
    default:  // thread attach and detach: nothing to do
      break;
  }
  return TRUE;
}
