/* A DLL whose exports all forward to LUMBRELSIM.dll (its .def names them):
 * the stand-ins of I2CDLL.dll and AfaApi.dll share the simulator's one
 * machine, so the trace and the machine view see every call. The machine
 * lives while one of them is loaded. */
#include "lumbrel_sim.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) LumbrelSimAttach();
  if (reason == DLL_PROCESS_DETACH) LumbrelSimDetach();
  return TRUE;
}
