/* LUMBRELSIM.dll: a simulated server for a Windows process.
 *
 * A management application loads LUMBREL.dll through LumbrelSimLoadLibrary
 * instead of LoadLibraryA. The library then runs unchanged, but its device,
 * volume and file calls (CreateFileA, DeviceIoControl, ReadFile, ...) and its
 * clock (Sleep, GetTickCount) reach the machine that LUMBREL_MACHINE names
 * (a machine file; the default machine when unset), through its import table.
 * Its registry, thread, library and handle calls stay the process's own, and
 * are traced and can be failed like the rest. LUMBREL_TRACE names a JSON
 * Lines file for the trace; LUMBREL_TRACE_DATA=full keeps all the data that
 * devices return there, not only its first 64 bytes.
 *
 * Under Wine the machine's registry keys (the SCSI device map, the services,
 * SYSTEM\DISK) replace the prefix's while the library is loaded; on Windows
 * the registry is left as it is. One thread at a time loads and frees.
 */
#ifndef LUMBREL_SIM_H
#define LUMBREL_SIM_H

#include <stdint.h>
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef LUMBREL_SIM_BUILD
#define LUMBREL_SIM_API __declspec(dllexport)
#else
#define LUMBREL_SIM_API __declspec(dllimport)
#endif

/* Loads a library as LoadLibraryA does and routes its imports to the
 * simulated machine. Null on failure, with GetLastError and, when the
 * machine could not be built, LumbrelSimProblem. */
LUMBREL_SIM_API HMODULE LumbrelSimLoadLibrary(const char* name);
/* Frees a library loaded by LumbrelSimLoadLibrary, then takes the machine's
 * registry keys out again. */
LUMBREL_SIM_API BOOL LumbrelSimFreeLibrary(HMODULE module);
/* A stand-in DLL's load and unload. The machine lives while a stand-in or
 * a routed library is loaded, and is built afresh after the last is gone. */
LUMBREL_SIM_API void LumbrelSimAttach(void);
LUMBREL_SIM_API void LumbrelSimDetach(void);
/* Why the machine could not be built, or "". */
LUMBREL_SIM_API const char* LumbrelSimProblem(void);

/* The virtual clock: the calling thread's elapsed milliseconds, a pause on
 * it (the simulated Sleep), and catching up with another thread's time. */
LUMBREL_SIM_API uint64_t LumbrelSimElapsed(void);
LUMBREL_SIM_API void LumbrelSimSleep(DWORD milliseconds);
LUMBREL_SIM_API void LumbrelSimCatchUp(uint64_t milliseconds);
/* Whether every thread that a routed library started is under way: it has
 * paused on the virtual clock for the first time, or ended. */
LUMBREL_SIM_API BOOL LumbrelSimThreadsUnderway(void);

/* The machine as an operator sees it, as JSON text: copies it with its
 * terminator when `size` allows and returns the size it needs. */
LUMBREL_SIM_API DWORD LumbrelSimDescribeMachine(char* buffer, DWORD size);

#ifdef __cplusplus
}
#endif

#endif /* LUMBREL_SIM_H */
