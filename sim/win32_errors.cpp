// The per-thread last-error value.
#include "platform/host/win32_subset.h"

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

extern "C" {

DWORD WINAPI GetLastError() { return t_lastError; }

void WINAPI SetLastError(DWORD errorCode) { t_lastError = errorCode; }

}  // extern "C"
