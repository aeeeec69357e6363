/*
 * For callers that load LUMBREL.dll at run time: the 19 exports with the
 * exact names under which the DLL exports them, a table of pointers of their
 * exact types, and (on Windows) the function that fills it.
 */
#ifndef LUMBREL_EXPORTS_H
#define LUMBREL_EXPORTS_H

#include "lumbrel.h"

/* X(function, exported name): every export, in the order of lumbrel.h. */
#define LUMBREL_EXPORTS(X)                                \
  X(InitializeDiags, "InitializeDiags")                   \
  X(SFStartFlashPower, "SFStartFlashPower")               \
  X(SFStopFlashPower, "SFStopFlashPower")                 \
  X(SFAdjustPowerLED, "SFAdjustPowerLED")                 \
  X(SetActivityCallback, "SetActivityCallback")           \
  X(SetFormatCallback, "SetFormatCallback")               \
  X(SetFirmwareCallback, "SetFirmwareCallback")           \
  X(FlashDriveActivityLight, "FlashDriveActivityLight")   \
  X(FlashActivityLightAllDrives, "FlashActivityLightAllDrives") \
  X(DeepFormatDrive, "DeepFormatDrive")                   \
  X(UpdateDriveFWImage, "_UpdateDriveFWImage@24")         \
  X(GetRaidLevel, "GetRaidLevel")                         \
  X(GetAllDriveLetters, "GetAllDriveLetters")             \
  X(CountAdapterUnits, "CountAdapterUnits")               \
  X(GetAllDiskConfigInfo, "GetAllDiskConfigInfo")         \
  X(GetAllAdapterInfo, "GetAllAdapterInfo")               \
  X(ReadDriveLogPage, "ReadDriveLogPage")                 \
  X(WriteDriveLogPage, "WriteDriveLogPage")               \
  X(GetDriveReadiness, "GetDriveReadiness")

/* Pointers to the exports; null for an export that a DLL lacks. */
typedef struct LumbrelExports {
#define LUMBREL_EXPORT_FIELD(function, name) function##Fn function;
  LUMBREL_EXPORTS(LUMBREL_EXPORT_FIELD)
#undef LUMBREL_EXPORT_FIELD
} LumbrelExports;

#if defined(_WIN32)
#include <windows.h>

/* Resolves every export of `module` by its exact name; the number found. */
static inline int LumbrelResolveExports(HMODULE module, LumbrelExports* exports) {
  int found = 0;
#define LUMBREL_EXPORT_RESOLVE(function, name)                                    \
  exports->function = (function##Fn)(void (*)(void))GetProcAddress(module, name); \
  found += exports->function != 0;
  LUMBREL_EXPORTS(LUMBREL_EXPORT_RESOLVE)
#undef LUMBREL_EXPORT_RESOLVE
  return found;
}
#endif

#endif /* LUMBREL_EXPORTS_H */
